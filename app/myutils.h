#pragma once
// Utilities of the application: user-interface texts of the language pack,
// the formatting of those texts, and free file names for the save commands.

#include <QString>

#include <cstdint>

class QVBoxLayout;
class QWidget;
#include <initializer_list>

// The longest user-interface text; longer pack texts are cut.
inline constexpr qsizetype kMaxUITextLength = 1023;

// Text `Id` of the loaded language pack (`LangModule`), up to its first zero
// character and at most kMaxUITextLength characters long. Empty when no
// pack is loaded, the pack lacks the number or its string table is broken.
QString GetUIText(int32_t Id);

// Text `Id` of the English pack built into the program, whatever pack is
// loaded; empty when it has no such number.
QString GetBuiltInText(int32_t Id);

// The text of a message (an error, a warning, a question or a result):
// GetUIText, or where the pack gives no text the built-in English one, so
// that no message is ever shown empty. Captions and labels take GetUIText.
QString GetMessageText(int32_t Id);

// One argument of a pack text: a text, or a number shown in decimal.
class UITextArg {
public:
    UITextArg(const QString& text) : m_text(text) {}
    UITextArg(int number) : m_text(QString::number(number)) {}
    UITextArg(qint64 number) : m_text(QString::number(number)) {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// Fills a pack text with its arguments. Pack texts are read from a file, so
// only three markers are understood: "%s" and "%d" each take the next
// argument, "%%" gives "%". Every other "%" stays as it is, and so does a
// marker left without an argument; arguments are inserted as they are,
// never read for markers themselves.
QString FormatUIText(const QString& format, std::initializer_list<UITextArg> args);

// A name without folder and extension for a new file in Dir: the base name
// of FileName (its file-name part less its last extension), or that name
// followed by 1, 2, ... when anything (a file, a folder, a link) is named
// Dir/Name.Ext already. An empty Dir stands for the root folder; Ext has no dot, and an
// empty Ext means a name without extension.
QString MakeUniqueFileName(const QString& Dir, const QString& FileName, const QString& Ext);

// Text with its letters in the case of Model's letters, place by place:
// the k-th letter of Text takes the case of Model's k-th letter, and those
// past Model's last letter the case of that one; characters without case
// are neither counted nor changed. Model without a letter of either case
// leaves Text as it is. A file that belongs to another takes the case of
// that one's extension so: FollowCase("dbt", "DBF") is "DBT",
// FollowCase("dbt", "Dbf") "Dbt", FollowCase("_files", "HTML") "_FILES".
QString FollowCase(const QString& Text, const QString& Model);

// The dialogs' layout: Content's column on the left, the buttons top down
// on the right.
void LayOutDialog(QWidget* Form, QVBoxLayout* Content, std::initializer_list<QWidget*> Buttons);
