#pragma once
// Read-only look-ups of file-type classes (default icons, class ids), in
// place of the HKEY_CLASSES_ROOT registry tree. Linux has no such tree: the
// system back end finds nothing; tests install entries of their own.

#include <QString>

#include <map>
#include <memory>
#include <optional>

namespace platform {

class ClassesRoot {
public:
    virtual ~ClassesRoot() = default;
    // The default (unnamed) value of `key` ("txtfile\DefaultIcon"): nullopt
    // when the key does not exist, an empty text when it has no value.
    virtual std::optional<QString> defaultValue(const QString& key) const = 0;
};

// Keys compare case-insensitively, as registry keys do.
class MapClassesRoot : public ClassesRoot {
public:
    void set(const QString& key, const QString& value) { m_values[key.toLower()] = value; }
    std::optional<QString> defaultValue(const QString& key) const override;

private:
    std::map<QString, QString> m_values;
};

const ClassesRoot& classesRoot();
// Replaces the back end; nullptr restores the system one.
void setClassesRoot(std::shared_ptr<const ClassesRoot> root);

// %NAME% replaced by the environment variable's value; unknown names stay.
QString expandEnvironmentStrings(const QString& text);

}  // namespace platform
