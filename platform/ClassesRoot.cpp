#include "platform/ClassesRoot.h"

#include <QtGlobal>

namespace platform {

namespace {

class SystemClassesRoot : public ClassesRoot {
public:
    std::optional<QString> defaultValue(const QString&) const override { return std::nullopt; }
};

std::shared_ptr<const ClassesRoot>& current()
{
    static std::shared_ptr<const ClassesRoot> root = std::make_shared<SystemClassesRoot>();
    return root;
}

}  // namespace

std::optional<QString> MapClassesRoot::defaultValue(const QString& key) const
{
    const auto it = m_values.find(key.toLower());
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

const ClassesRoot& classesRoot() { return *current(); }

void setClassesRoot(std::shared_ptr<const ClassesRoot> root)
{
    current() = root ? std::move(root) : std::make_shared<SystemClassesRoot>();
}

QString expandEnvironmentStrings(const QString& text)
{
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(u'%', i);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(u'%', open + 1);
        if (close < 0)
            break;
        out += text.mid(i, open - i);
        const QString name = text.mid(open + 1, close - open - 1);
        if (!name.isEmpty() && qEnvironmentVariableIsSet(name.toLocal8Bit().constData())) {
            out += qEnvironmentVariable(name.toLocal8Bit().constData());
            i = close + 1;
        } else {
            // Left as it stands; its closing "%" may open the next name.
            out += text.mid(open, close - open);
            i = close;
        }
    }
    out += text.mid(i);
    return out;
}

}  // namespace platform
