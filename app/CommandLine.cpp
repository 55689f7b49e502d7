#include "app/CommandLine.h"

#include "app/DbaseExport.h"
#include "app/HtmlExport.h"
#include "app/IconSaver.h"
#include "app/PdfExport.h"
#include "kxCommon/kxFileUtils.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

namespace {

constexpr int kHtmlPage = 11;
constexpr int kDbaseTable = 12;
constexpr int kPdfDocument = 13;

const QLatin1String kFlagNames[] = {
    QLatin1String("e"),
    QLatin1String("export"),
    QLatin1String("closewhendone"),
    QLatin1String("opendestination"),
    QLatin1String("alliconsasoneimage"),
    QLatin1String("iconsizesmall"),
    QLatin1String("grayscale"),
    QLatin1String("includenumbers"),
    QLatin1String("drawborders"),
};
const QLatin1String kValueNames[] = {
    QLatin1String("dbasefieldname"), QLatin1String("dbasedesttype"), QLatin1String("htmldestimagetype"),
    QLatin1String("desttype"),       QLatin1String("iconindex"),
};

bool isSwitchName(const QString& Name)
{
    for (const QLatin1String& n : kFlagNames)
        if (Name == n)
            return true;
    for (const QLatin1String& n : kValueNames)
        if (Name == n)
            return true;
    return false;
}

// The type names each type switch takes; DBFTypeOf, TargetImageTypeOf and
// FileTypeOf give their codes.
const char* const kDestTypes[] = {"ICO", "BMP", "BITMAP", "JPEG", "JPG", "EMF",   "WMF", "METAFILE",
                                  "GIF", "PNG", "HTM",    "HTML", "DBF", "DBASE", "PDF"};
const char* const kDbaseDestTypes[]
    = {"ICO", "ICON", "BMP", "BITMAP", "JPEG", "JPG", "EMF", "WMF", "METAFILE", "GIF", "PNG"};
const char* const kHtmlDestImageTypes[] = {"PNG", "JPEG", "JPG", "GIF"};

// A type switch's value, upper-cased and trimmed, into Item while it is
// still empty; a type the switch does not take is refused, so that an
// export is not run on a guess.
template <size_t N>
void takeType(const QString& Value, const QString& Param, const char* const (&Known)[N], QString& Item,
              QStringList& Errors)
{
    const QString type = Value.toUpper().trimmed();
    const auto named = [&](const char* k) { return type == QLatin1String(k); };
    if (!type.isEmpty() && std::none_of(std::begin(Known), std::end(Known), named))
        Errors << QStringLiteral("Unknown type \"%1\" in %2").arg(Value.trimmed(), Param);
    else if (Item.isEmpty())
        Item = type;
}

// The folder part, up to and including the last "/".
QString folderOf(const QString& Path) { return Path.left(Path.lastIndexOf(u'/') + 1); }

// The value of a switch that begins with Name: the rest after it.
bool takeValue(const QString& Switch, QLatin1String Name, QString& Value)
{
    if (!Switch.startsWith(Name))
        return false;
    Value = Switch.mid(Name.size());
    return true;
}

}  // namespace

bool TCommandLine::FileOrFolderExists(const QString& Path) { return QFileInfo::exists(Path); }

QString TCommandLine::Normalize(const QString& S)
{
    const qsizetype p = S.indexOf(u'=');
    QString n = p < 2 ? S.toLower() : S.left(p + 1).toLower() + S.mid(p + 1);
    if (!n.isEmpty())
        n[0] = u'-';
    return n;
}

bool TCommandLine::IsSwitch(const QString& S, const PathExists& Exists)
{
    if (S.isEmpty())
        return false;
    if (S[0] == u'-')
        return true;
    if (S[0] != u'/')
        return false;
    const qsizetype p = S.indexOf(u'=');
    const QString name = S.mid(1, p < 0 ? -1 : p - 1).toLower();
    return isSwitchName(name) && !Exists(S);
}

TCommandLine TCommandLine::Parse(const QStringList& Params, const PathExists& Exists)
{
    TCommandLine c;
    c.Params = Params.mid(0, kMaxParams);
    int iconIndex = -1;
    for (const QString& s : c.Params) {
        if (!IsSwitch(s, Exists)) {
            c.Arguments << s;
            continue;
        }
        const QString sw = Normalize(s);
        struct Flag {
            const char* name;
            bool TCommandLine::*item;
        };
        static const Flag flags[] = {
            {"-e", &TCommandLine::Export},
            {"-export", &TCommandLine::Export},
            {"-closewhendone", &TCommandLine::CloseWhenDone},
            {"-opendestination", &TCommandLine::OpenDestination},
            {"-alliconsasoneimage", &TCommandLine::AllAsOne},
            {"-iconsizesmall", &TCommandLine::SmallIcons},
            {"-grayscale", &TCommandLine::GrayScale},
            {"-includenumbers", &TCommandLine::IncludeNumbers},
            {"-drawborders", &TCommandLine::DrawBorders},
        };
        bool isFlag = false;
        for (const Flag& f : flags)
            if (sw == QLatin1String(f.name)) {
                c.*f.item = true;
                isFlag = true;
            }
        if (isFlag)
            continue;

        QString value;
        if (takeValue(sw, QLatin1String("-dbasefieldname="), value)) {
            if (c.DBFFieldName.isEmpty())
                c.DBFFieldName = value.trimmed().left(10);
        } else if (takeValue(sw, QLatin1String("-dbasedesttype="), value)) {
            takeType(value, s, kDbaseDestTypes, c.DBFDestType, c.Errors);
        } else if (takeValue(sw, QLatin1String("-htmldestimagetype="), value)) {
            takeType(value, s, kHtmlDestImageTypes, c.HTMLDestImageType, c.Errors);
        } else if (takeValue(sw, QLatin1String("-desttype="), value)) {
            takeType(value, s, kDestTypes, c.DestType, c.Errors);
        } else if (takeValue(sw, QLatin1String("-iconindex="), value)) {
            // A sign and decimal digits, as the integer conversion reads
            // them; a negative number means the first icon, as none does.
            const QString number = value.trimmed();
            const qsizetype sign = number.startsWith(u'-') || number.startsWith(u'+') ? 1 : 0;
            bool ok = number.size() > sign;
            for (const QChar ch : QStringView(number).sliced(sign))
                ok = ok && ch >= u'0' && ch <= u'9';
            const int n = ok ? number.toInt(&ok, 10) : 0;
            if (!ok && !number.isEmpty())
                c.Errors << QStringLiteral(
                                "\"%1\" is not an icon number (0 for all icons, 1 or more for one) in %2")
                                .arg(number, s);
            else if (ok && iconIndex == -1)
                iconIndex = n;
        }
    }
    c.IconIndex = iconIndex < 0 ? 1 : iconIndex;
    return c;
}

QString TCommandLine::Source() const
{
    if (Export)
        return Arguments.value(0);
    return Params.join(u' ');
}

QString TCommandLine::Dest() const { return Export ? Arguments.value(1) : QString(); }

int DBFTypeOf(const QString& T)
{
    if (T == u"BMP" || T == u"BITMAP")
        return 1;
    if (T == u"JPEG" || T == u"JPG")
        return 2;
    if (T == u"EMF" || T == u"WMF" || T == u"METAFILE")
        return 3;
    if (T == u"GIF")
        return 4;
    if (T == u"PNG")
        return 5;
    return 0;
}

int TargetImageTypeOf(const QString& T)
{
    if (T == u"JPEG" || T == u"JPG")
        return 1;
    if (T == u"GIF")
        return 2;
    return 0;
}

int FileTypeOf(QString& DestType)
{
    const QString t = DestType;
    if (t == u"BMP" || t == u"BITMAP") {
        DestType = QStringLiteral("BMP");
        return 1;
    }
    if (t == u"JPEG" || t == u"JPG")
        return 2;
    if (t == u"EMF" || t == u"WMF")
        return 3;
    if (t == u"METAFILE") {
        DestType = QStringLiteral("EMF");
        return 3;
    }
    if (t == u"GIF")
        return 4;
    if (t == u"PNG")
        return 5;
    if (t == u"HTM" || t == u"HTML")
        return kHtmlPage;
    if (t == u"DBF" || t == u"DBASE") {
        DestType = QStringLiteral("DBF");
        return kDbaseTable;
    }
    if (t == u"PDF")
        return kPdfDocument;
    DestType = QStringLiteral("ICO");
    return 0;
}

QString ResolvePath(const QString& Dir, const QString& Path)
{
    if (Path.isEmpty() || !QDir::isRelativePath(Path))
        return Path;
    return QDir(Dir).filePath(Path);
}

TExportPlan PlanExport(const TCommandLine& c, const QString& Dest)
{
    TExportPlan plan;
    plan.DestType = c.DestType.isEmpty() ? ExtractFileExt(Dest).mid(1).toUpper() : c.DestType;
    plan.DBFType = DBFTypeOf(c.DBFDestType);
    plan.TargetImageType = TargetImageTypeOf(c.HTMLDestImageType);
    plan.FileType = FileTypeOf(plan.DestType);
    if (c.AllAsOne && plan.FileType == 0)
        plan.FileType = 1;
    plan.IconIndex = c.IconIndex;
    if (c.AllAsOne || plan.FileType > 10)
        plan.IconIndex = 0;

    if (plan.IconIndex >= 1) {
        plan.Action = TExportPlan::SaveOneIcon;
        plan.OpenFile = CompleteSaveIconFileName(Dest, plan.FileType);
        return plan;
    }
    if (c.AllAsOne) {
        plan.Action = TExportPlan::SaveGridAsOne;
        plan.OpenFile = CompleteSaveAllAsOneFileName(Dest, plan.FileType);
        return plan;
    }
    plan.Action = TExportPlan::SaveEveryIcon;
    // The type only chooses the kind: a name is written in the case given.
    const QString givenExt = ExtractFileExt(Dest);
    const QString typeExt = u'.' + plan.DestType;
    plan.DestExt = givenExt.compare(typeExt, Qt::CaseInsensitive) == 0 ? givenExt : typeExt.toLower();
    switch (plan.FileType) {
    case kHtmlPage:
        plan.DestDir = HtmlExport::PicturesFolder(Dest.chopped(givenExt.size()) + plan.DestExt);
        plan.OpenFile = HtmlExport::PageFileName(plan.DestDir, plan.DestExt);
        break;
    case kDbaseTable:
        plan.DestDir = folderOf(Dest);
        plan.OpenFile = DbaseExport::TableFileName(plan.DestDir, Dest, plan.DestExt);
        break;
    case kPdfDocument:
        plan.DestDir = folderOf(Dest);
        plan.OpenFile = PdfExport::DocumentFileName(plan.DestDir, Dest);
        break;
    default:
        plan.DestDir = Dest;
        plan.MakeDestFolder = true;
        break;
    }
    return plan;
}
