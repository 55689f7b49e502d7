#include "app/myutils.h"

#include "app/BuiltInEnglish.h"
#include "app/Unit1.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QList>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace {

QString textOf(const platform::PeModule* Pack, int32_t Id)
{
    if (!Pack || Id < 0 || Id > 0xFFFF)
        return {};
    std::optional<QString> stored = Pack->loadString(static_cast<uint32_t>(Id));
    if (!stored)
        return {};
    QString text = std::move(*stored);
    const qsizetype zero = text.indexOf(QChar(u'\0'));
    if (zero >= 0)
        text.truncate(zero);
    if (text.size() > kMaxUITextLength) {
        text.truncate(kMaxUITextLength);
        // Half a surrogate pair is no character.
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    return text;
}

}  // namespace

QString GetUIText(int32_t Id) { return textOf(LangModule.get(), Id); }

QString GetBuiltInText(int32_t Id)
{
    // Opened for each message: they are few, and the pack is small.
    const std::unique_ptr<platform::PeModule> english
        = platform::PeModule::fromBytes({kBuiltInEnglishPack, kBuiltInEnglishPackSize});
    return textOf(english.get(), Id);
}

QString GetMessageText(int32_t Id)
{
    QString text = GetUIText(Id);
    return text.isEmpty() ? GetBuiltInText(Id) : text;
}

QString FormatUIText(const QString& format, std::initializer_list<UITextArg> args)
{
    QString out;
    out.reserve(format.size());
    auto next = args.begin();
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != u'%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        const QChar marker = format[i + 1];
        if (marker == u'%') {
            out += u'%';
            ++i;
        } else if ((marker == u's' || marker == u'd') && next != args.end()) {
            out += next->text();
            ++next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString MakeUniqueFileName(const QString& Dir, const QString& FileName, const QString& Ext)
{
    QString base = FileName.mid(FileName.lastIndexOf(u'/') + 1);
    const qsizetype dot = base.lastIndexOf(u'.');
    if (dot >= 0)
        base.truncate(dot);

    QString folder = Dir;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    const QString suffix = Ext.isEmpty() ? QString() : QStringLiteral(".") + Ext;

    // Anything of the name is taken: a folder proposed as the name would
    // turn the save dialog's button into one that opens it.
    const auto taken = [](const QString& path) {
        const QFileInfo info(path);
        return info.exists() || info.isSymLink();
    };
    QString name = base;
    for (qint64 n = 1; taken(folder + name + suffix); ++n)
        name = base + QString::number(n);
    return name;
}

QString FollowCase(const QString& Text, const QString& Model)
{
    QList<bool> upper;
    for (const QChar c : Model)
        if (c.isUpper() || c.isLower())
            upper.append(c.isUpper());
    if (upper.isEmpty())
        return Text;
    QString cased = Text;
    qsizetype k = 0;
    for (QChar& c : cased) {
        if (!c.isUpper() && !c.isLower())
            continue;
        c = upper[std::min(k++, upper.size() - 1)] ? c.toUpper() : c.toLower();
    }
    return cased;
}

void LayOutDialog(QWidget* Form, QVBoxLayout* Content, std::initializer_list<QWidget*> Buttons)
{
    Content->addStretch(1);
    // The columns' own spacing, not the wider gap between them.
    Content->setSpacing(6);
    auto* buttons = new QVBoxLayout;
    for (QWidget* button : Buttons)
        buttons->addWidget(button);
    buttons->addStretch(1);
    auto* top = new QHBoxLayout(Form);
    top->setContentsMargins(10, 10, 10, 10);
    top->setSpacing(12);
    top->addLayout(Content, 1);
    top->addLayout(buttons);
}
