#include "kxFileUtils.h"

#include "platform/ByteReader.h"
#include "platform/PeModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString JoinPath(const QString& Dir, const QString& Name)
{
    // "/" + Name would name something at the root instead.
    if (Dir.isEmpty())
        return Name;
    if (Dir.endsWith(u'/'))
        return Dir + Name;
    return Dir + u'/' + Name;
}

QString ExtractFileExt(const QString& FileName)
{
    const qsizetype slash = FileName.lastIndexOf(u'/');
    const qsizetype dot = FileName.lastIndexOf(u'.');
    return dot > slash ? FileName.mid(dot) : QString();
}

QString AddBackslash(const QString& Path)
{
    if (Path.isEmpty() || Path.endsWith(u'/'))
        return Path;
    return Path + u'/';
}

bool DirExists(const QString& Path) { return !Path.isEmpty() && QFileInfo(Path).isDir(); }

QString GetWinTempPath()
{
    QString path = qEnvironmentVariable("TMPDIR");
    if (path.isEmpty())
        path = QStringLiteral("/tmp");
    return AddBackslash(path);
}

namespace {

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).path();
}

}  // namespace

QString GetTempFolder()
{
    QString folder;
    for (const QString& candidate :
         {qEnvironmentVariable("TMP"), qEnvironmentVariable("TEMP"), GetWinTempPath()}) {
        if (!candidate.isEmpty() && DirExists(candidate)) {
            folder = candidate;
            break;
        }
    }
    if (folder.isEmpty())
        folder = programFolder();
    return AddBackslash(QDir(folder).absolutePath());
}

QString GetFileVersionString(const QString& FileName)
{
    const auto module = platform::PeModule::open(FileName);
    if (!module)
        return {};
    const auto resource = module->versionResource();
    if (!resource || resource->empty())
        return {};

    QString translation = QStringLiteral("040904E4");
    const auto translations
        = platform::version::queryValue(*resource, QStringLiteral("\\VarFileInfo\\Translation"));
    if (translations && platform::fits(*translations, 0, 4)) {
        const uint32_t entry = platform::le32(*translations, 0);
        // Language (low half) first, then code page (high half).
        const uint32_t key = (entry << 16) | (entry >> 16);
        translation = QStringLiteral("%1").arg(key, 8, 16, QChar(u'0')).toUpper();
    }
    const auto text = platform::version::queryString(
        *resource, QStringLiteral("\\StringFileInfo\\") + translation + QStringLiteral("\\FileVersion"));
    return text.value_or(QString());
}
