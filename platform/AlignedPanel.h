#pragma once
// The toolkit's alignment of child controls: a container that docks its
// children to its edges, the way the toolkit does, so that splitters can
// resize the neighbour they find by probing. Children with an alignment
// are placed in the order top, bottom, left, right, client; among those of
// one alignment, by their current position (the one nearest the aligned
// edge first), creation order breaking ties. Children without an
// alignment keep their geometry.

#include <QFrame>

namespace platform {

enum class Align { None, Top, Bottom, Left, Right, Client };

Align alignOf(const QWidget* Control);
// Stores the alignment and realigns the parent when it is an AlignedPanel.
void setAlign(QWidget* Control, Align Value);

class AlignedPanel : public QFrame {
    Q_OBJECT

public:
    explicit AlignedPanel(QWidget* parent = nullptr);

    // Lays out the aligned children now (unless held off).
    void realign();
    // Holds the alignment off while a neighbour is moved by hand; calls
    // nest, and the last release realigns.
    void disableAlign();
    void enableAlign();

    // Realigns the panel that holds Control, if any.
    static void realignParentOf(QWidget* Control);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    int m_disabled = 0;
    bool m_aligning = false;
};

// Holds the alignment of a panel off for a scope.
class AlignHold {
public:
    explicit AlignHold(QWidget* Panel) : m_panel(qobject_cast<AlignedPanel*>(Panel))
    {
        if (m_panel)
            m_panel->disableAlign();
    }
    ~AlignHold()
    {
        if (m_panel)
            m_panel->enableAlign();
    }
    AlignHold(const AlignHold&) = delete;
    AlignHold& operator=(const AlignHold&) = delete;

private:
    AlignedPanel* m_panel;
};

}  // namespace platform
