#pragma once
// The current user's settings of one program, kept the way the desktop
// keeps them (QSettings in its native format: on Linux
// ~/.config/<organization>/<application>.conf), offered as an INI-style
// store whose sections are the file's groups.

#include "platform/IniFile.h"

#include <QString>

#include <memory>

class QSettings;

namespace platform {

class UserRegistry : public IniStore {
public:
    UserRegistry(const QString& organization, const QString& application);
    ~UserRegistry() override;
    UserRegistry(const UserRegistry&) = delete;
    UserRegistry& operator=(const UserRegistry&) = delete;

    QString fileName() const;

    // True when the program's settings exist: the file holds a group.
    bool keyExists() const;
    // Deletes the program's settings with every group, and then the
    // organization's folder when nothing else is left in it.
    void removeKey();
    // Writes what was changed; throws platform::Error when it cannot.
    void flush();

    // Values come back as text, whatever Qt made of them.
    QString readString(const QString& section, const QString& name,
                       const QString& defaultValue) const override;
    // In the name order of the store, which sorts them as text.
    IniValues readSectionValues(const QString& section) const override;
    void writeString(const QString& section, const QString& name, const QString& value) override;
    void eraseSection(const QString& section) override;

private:
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace platform
