// Clipboard, printing, the about box, the icon window and the keys of the
// main window.
#include "app/Unit1.h"

#include "app/About.h"
#include "app/IconEx.h"
#include "app/Print.h"
#include "app/Shortcuts.h"
#include "app/myutils.h"
#include "kxCommon/KXButton.h"
#include "kxCommon/KXCtrl.h"
#include "kxCommon/KXImageBox.h"
#include "kxCommon/kxGraphicUtils.h"
#include "kxCommon/kxIconUtils.h"
#include "platform/Exceptions.h"
#include "platform/ImageMemory.h"
#include "platform/MessageBoxes.h"
#include "platform/ModalForms.h"
#include "platform/PrintDialogs.h"
#include "platform/Printer.h"
#include "platform/ShellIcons.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPrinter>
#include <QRadioButton>
#include <QWindow>

void TForm1::CopyBtnClick()
{
    CheckSelection();
    TKXImageBox* grid = FScrollBox->ImageBox();
    // The icon's own pixels at its size, with their alpha: a pasted icon
    // keeps its shape.
    const platform::Icon& icon = grid->GetIcon(grid->ItemIndex());
    QGuiApplication::clipboard()->setImage(platform::converted(icon.toImage(), QImage::Format_ARGB32));
}

void TForm1::PrintBtnClick()
{
    TKXImageBox* grid = FScrollBox->ImageBox();
    bool all = true;
    bool actualSize = true;
    {
        TPrintFrm form(this, grid->ItemIndex());
        form.RunHelp = [this](const QString& Topic) { RunHelp(Topic); };
        if (platform::modalForms().showModal(form) != QDialog::Accepted)
            return;
        all = form.FullBtn->isChecked();
        actualSize = form.RealBtn->isChecked();
    }
    QPrinter printer(QPrinter::HighResolution);
    if (!platform::printerChooser().choose(this, printer))
        return;
    platform::Printer device(printer);
    grid->Print(all, actualSize ? kPrintActualSize : kPrintFitPage, device);
}

void TForm1::AboutBtnClick()
{
    TAboutFrm form(this, platform::extractIcon(FProgramFile, 0, platform::kLargeIconSize).toImage());
    form.RunHelp = [this](const QString& Topic) { RunHelp(Topic); };
    platform::modalForms().showModal(form);
}

void TForm1::Label1Click()
{
    // The program has no web page: its help stands in for it.
    RunHelp(QString());
}

void TForm1::NShowIconExClick()
{
    // The checkable item has already inverted its check.
    ShowSeparateWindow = FNShowIconEx->isChecked();
    UpdateIconWindow(FScrollBox->ImageBox()->ItemIndex());
}

void TForm1::UpdateIconWindow(int Index)
{
    if (!ShowSeparateWindow) {
        if (FFrmIconEx)
            FFrmIconEx->hide();
        return;
    }
    // A batch run without a display shows nobody a window.
    if (BatchMode && !platform::hasDisplay())
        return;
    if (!FFrmIconEx) {
        FFrmIconEx = new TFrmIconEx(this);
        FFrmIconEx->OnUserClose = [this] { FNShowIconEx->setChecked(false); };
    }
    TKXImageBox* grid = FScrollBox->ImageBox();
    QLabel* image1 = FFrmIconEx->Image1;
    QLabel* image2 = FFrmIconEx->Image2;
    QSize large(0, 0);
    QSize small(0, 0);
    if (Index < 0) {
        image1->clear();
        image2->clear();
    } else {
        platform::Icon largeIcon, smallIcon;
        if (grid->Associated()) {
            largeIcon = platform::associatedIcon(FFileName, platform::kLargeIconSize);
            smallIcon = platform::associatedIcon(FFileName, platform::kSmallIconSize);
        } else {
            largeIcon = platform::extractIcon(FFileName, Index, platform::kLargeIconSize);
            smallIcon = platform::extractIcon(FFileName, Index, platform::kSmallIconSize);
        }
        image1->setPixmap(largeIcon ? QPixmap::fromImage(largeIcon.toImage()) : QPixmap());
        image2->setPixmap(smallIcon ? QPixmap::fromImage(smallIcon.toImage()) : QPixmap());
        const QPoint l = GetIconDimensions(largeIcon);
        const QPoint s = GetIconDimensions(smallIcon);
        large = QSize(l.x(), l.y());
        small = QSize(s.x(), s.y());
    }
    QSize client = FFrmIconEx->size();
    if (client.width() < 2 * image1->width())
        client.setWidth(2 * image1->width());
    if (client.height() < 2 * image1->height())
        client.setHeight(2 * image1->height());
    FFrmIconEx->resize(client);
    const int w = client.width();
    const int h = client.height();
    image1->setGeometry(w / 4 - large.width() / 2, h / 2 - large.height() / 2, large.width(), large.height());
    image2->setGeometry(3 * (w / 4) - small.width() / 2, h / 2 - small.height() / 2, small.width(),
                        small.height());
    FFrmIconEx->show();
    if (isVisible() && isEnabled())
        activateWindow();
}

void TForm1::FormKeyDown(int Key, Qt::KeyboardModifiers Shift)
{
    switch (ShortcutCommand(Key, Shift, QGuiApplication::mouseButtons())) {
    case TShortcutCommand::StopSearch:
        if (SearchRunning)
            SearchRunning = false;
        break;
    case TShortcutCommand::Copy: CopyBtnClick(); break;
    case TShortcutCommand::Open: OpenBtnClick(); break;
    case TShortcutCommand::Print:
        if (FPrintBtn->isEnabled())
            PrintBtnClick();
        break;
    case TShortcutCommand::Refresh:
        if (FRefreshBtn->isEnabled())
            RefreshBtnClick();
        break;
    case TShortcutCommand::SaveSel:
        if (FSaveBtn->isEnabled())
            SaveSelClick();
        break;
    case TShortcutCommand::Help: HelpBtnClick(); break;
    case TShortcutCommand::None: break;
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (FindPanelEventFilter(watched, event))
        return true;
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && Label1->rect().contains(mouse->position().toPoint()))
            Label1Click();
    }
    // Every key of the window passes its native window once, before the
    // control with the focus sees it: the one place the keys are read.
    if (watched == this && !FKeyWindow && windowHandle()) {
        FKeyWindow = windowHandle();
        FKeyWindow->installEventFilter(this);
    } else if (watched == FKeyWindow && event->type() == QEvent::Expose && !FShownOnce
               && FKeyWindow->isExposed()) {
        // An icon window mapped before this one is not kept among this
        // window's own by the window manager, and a modal dialog would lift
        // this window over it: mapped again, it is.
        FShownOnce = true;
        if (FFrmIconEx && FFrmIconEx->isVisible()) {
            FFrmIconEx->hide();
            FFrmIconEx->show();
            if (isEnabled())
                activateWindow();
        }
    } else if (watched == FKeyWindow && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        try {
            FormKeyDown(key->key(), key->modifiers());
        } catch (const platform::Abort&) {
            // The command has told the user why it stopped.
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
