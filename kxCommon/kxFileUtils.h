#pragma once
// Paths, folders and file versions.

#include <QString>

// Dir + "/" + Name, without doubling a "/" that ends Dir. Name is used as
// it stands; an empty Dir gives Name.
QString JoinPath(const QString& Dir, const QString& Name);

// Path with a trailing "/"; an empty path stays empty.
QString AddBackslash(const QString& Path);

// True for an existing directory (or a link to one).
bool DirExists(const QString& Path);

// The system's temporary folder, $TMPDIR or else /tmp, ending in "/". Not
// checked for existence.
QString GetWinTempPath();

// The first existing folder of $TMP, $TEMP and GetWinTempPath(), else the
// program's own folder; absolute and ending in "/".
QString GetTempFolder();

// The "FileVersion" text of the file's version resource in its first
// translation (US English, Western code page when it names none); empty for
// a file that is not a module or has no such text.
QString GetFileVersionString(const QString& FileName);
