#include "platform/UserRegistry.h"

#include "platform/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace platform {

namespace {

// A hand-edited "a, b" reads as a list; give it back as it was written.
QString asText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

}  // namespace

UserRegistry::UserRegistry(const QString& organization, const QString& application)
    : m_settings(
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organization, application))
{}

UserRegistry::~UserRegistry() = default;

QString UserRegistry::fileName() const { return m_settings->fileName(); }

bool UserRegistry::keyExists() const { return !m_settings->childGroups().isEmpty(); }

void UserRegistry::removeKey()
{
    m_settings->clear();
    m_settings->sync();
    const QString file = m_settings->fileName();
    if (QFileInfo::exists(file) && !QFile::remove(file))
        throw Error(QStringLiteral("Cannot delete the settings file %1.").arg(file));
    // rmdir only removes an empty folder: other programs of the maker stay.
    QDir().rmdir(QFileInfo(file).absolutePath());
}

void UserRegistry::flush()
{
    m_settings->sync();
    if (m_settings->status() == QSettings::AccessError)
        throw Error(QStringLiteral("Cannot write the settings file %1.").arg(m_settings->fileName()));
}

QString UserRegistry::readString(const QString& section, const QString& name,
                                 const QString& defaultValue) const
{
    const QVariant value = m_settings->value(section + u'/' + name);
    return value.isValid() ? asText(value) : defaultValue;
}

IniValues UserRegistry::readSectionValues(const QString& section) const
{
    IniValues values;
    m_settings->beginGroup(section);
    const QStringList names = m_settings->childKeys();
    for (const QString& name : names)
        values.append({name, asText(m_settings->value(name))});
    m_settings->endGroup();
    return values;
}

void UserRegistry::writeString(const QString& section, const QString& name, const QString& value)
{
    m_settings->setValue(section + u'/' + name, value);
}

void UserRegistry::eraseSection(const QString& section) { m_settings->remove(section); }

}  // namespace platform
