// The window's layout: the find panel's splitters and the sizes they keep.
#include "app/Unit1.h"

#include "kxCommon/KXButton.h"

#include "kxCommon/KXCtrl.h"
#include "platform/AlignedPanel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QStatusBar>
#include <QToolButton>

#include <algorithm>

namespace {

// The margin of the find panel: the tree's left edge.
constexpr int kDesignMargin = 8;

}  // namespace

int TForm1::FormClientHeight() const
{
    // The tool bar lies outside the aligned client area; the status bar
    // is counted as the form's own client height counts it.
    return FormClient->height() + statusBar()->height();
}

void TForm1::RealignPanels()
{
    // A hidden window reports no geometry changes to the panels: they are
    // realigned whenever the layout code has moved something.
    FormClient->realign();
    MainPanel->realign();
    FindPanel->realign();
}

void TForm1::FormResizePanels()
{
    if (!FindPanel)
        return;
    // A hidden panel is not aligned, so its width is set here.
    FindPanel->resize(FormClient->contentsRect().width(), FindPanel->height());
    RealignPanels();
    // Within the splitter's limits both ways, so that a panel the window
    // squeezed grows back with it; in a window below its minimum size the
    // panel keeps its own minimum.
    const auto keep
        = [](int Size, int MinSize, int Limit) { return std::max(MinSize, std::min(Size, Limit)); };
    FilePanel->resize(keep(FilePanel->width(), VSplitter->MinSize(),
                           FindPanel->contentsRect().width() - VSplitter->MinSize() - VSplitter->width()),
                      FilePanel->height());
    FindPanel->resize(
        FindPanel->width(),
        keep(FindPanel->height(), HSplitter->MinSize(),
             FormClientHeight() - HSplitter->MinSize() - HSplitter->height() - statusBar()->height()));
    RealignPanels();
    VSplitterMoved(nullptr);
    HSplitterMoved(nullptr);
}

void TForm1::VSplitterMoved(QObject*)
{
    const int m = kDesignMargin;
    if (QWidget* tree = TreeWidget())
        tree->resize(DirPanel->width() - 2 * m, tree->height());
    FileBox->resize(FilePanel->width() - FileBox->x() - m, FileBox->height());
}

void TForm1::HSplitterMoved(QObject*)
{
    const int m = kDesignMargin;
    ChkSubFolders->move(ChkSubFolders->x(), DirPanel->contentsRect().height() - ChkSubFolders->height() - m);
    if (QWidget* tree = TreeWidget())
        tree->resize(tree->width(), DirPanel->height() - tree->y() - m);
    FileBox->resize(FileBox->width(), FilePanel->height() - FileBox->y() - 2 * m - ChkSubFolders->height());
    Img->resize(Img->width(), FileBox->height());
    SaveAllBtn->move(SaveAllBtn->x(), Img->y() + Img->height() / 2 - SaveAllBtn->height() / 2);
    Label4->move(Label4->x(), SaveAllBtn->y() - SaveAllBtn->height() - m);
    Label6->move(Label6->x(), Label4->y() + Label4->height());
}

void TForm1::StoreFindPanelPlacement(TPlacement& Placement) const
{
    if (!FindPanel)
        return;
    Placement.FindPanelHeight = FindPanel->height();
    Placement.FilePanelWidth = FilePanel->width();
    Placement.FindPanelVisible = !FindPanel->isHidden();
}

void TForm1::RestoreFindPanelPlacement(const TPlacement& Placement)
{
    // Laid out now, so that the limits below see the window's real size.
    if (layout())
        layout()->activate();
    FindPanel->resize(FormClient->contentsRect().width(), FindPanel->height());
    RealignPanels();
    // Left with the opposite of its saved state: the start-up toggles it once.
    FindPanel->setVisible(!Placement.FindPanelVisible);
    FindPanel->resize(FindPanel->width(),
                      ClampPanelSize(Placement.FindPanelHeight, HSplitter->MinSize(),
                                     FormClientHeight() - HSplitter->MinSize() - HSplitter->height()
                                         - statusBar()->height()));
    FilePanel->resize(
        ClampPanelSize(Placement.FilePanelWidth, VSplitter->MinSize(),
                       FindPanel->contentsRect().width() - VSplitter->MinSize() - VSplitter->width()),
        FilePanel->height());
    RealignPanels();
    HSplitterMoved(nullptr);
    VSplitterMoved(nullptr);
}
