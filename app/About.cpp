#include "app/About.h"

#include "kxCommon/KXButton.h"
#include "platform/Shell.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const char kMailAddress[] = "pictorium@example.org";

}  // namespace

TLinkLabel::TLinkLabel(const QString& Text, QWidget* Parent) : QLabel(Text, Parent)
{
    setCursor(Qt::PointingHandCursor);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Link));
    setPalette(p);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick();
}

TAboutFrm::TAboutFrm(QWidget* AOwner, const QImage& ProgramIcon) : QDialog(AOwner)
{
    setWindowTitle(QStringLiteral("About..."));
    Image1 = new QLabel(this);
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(QPixmap::fromImage(ProgramIcon));
    Label1 = new QLabel(QStringLiteral("Pictorium"), this);
    QFont big = Label1->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    Label1->setFont(big);
    Label2 = new QLabel(QStringLiteral("5.1.0"), this);
    Label5 = new QLabel(QStringLiteral("Finds, shows and saves the icons stored in files."), this);
    Label3 = new TLinkLabel(QStringLiteral("Pictorium help"), this);
    Label6 = new TLinkLabel(QString::fromLatin1(kMailAddress), this);
    Label6->hide();
    Label3->OnClick = [this] { Label4Click(Label3); };
    Label6->OnClick = [this] { Label4Click(Label6); };
    Button1 = new TKXButton(QStringLiteral("OK"), this);
    Button1->SetDefault(true);
    // OK both for Enter and for Esc.
    Button1->SetModalResult(mrOk);
    Button1->SetCancel(true);

    auto* names = new QVBoxLayout;
    names->addWidget(Label1);
    names->addWidget(Label2);
    auto* head = new QHBoxLayout;
    head->addWidget(Image1, 0, Qt::AlignTop);
    head->addSpacing(12);
    head->addLayout(names, 1);
    auto* ok = new QHBoxLayout;
    ok->addStretch(1);
    ok->addWidget(Button1);
    ok->addStretch(1);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(16, 16, 16, 12);
    top->addLayout(head);
    top->addSpacing(8);
    top->addWidget(Label5);
    top->addWidget(Label3);
    top->addWidget(Label6);
    top->addStretch(1);
    top->addLayout(ok);
    setFixedSize(sizeHint().expandedTo(QSize(289, 185)));
}

void TAboutFrm::Label4Click(QObject* Sender)
{
    if (Sender == Label3) {
        if (RunHelp)
            RunHelp(QString());
    } else if (Sender == Label6) {
        platform::shellOpener().open(QUrl(QStringLiteral("mailto:") + Label6->text()));
    }
}
