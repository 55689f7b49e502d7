#pragma once
// The toolkit's up-down control bound to an edit: its arrows step the
// number in the edit within a range.

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace platform {

class UpDown : public QWidget {
    Q_OBJECT

public:
    explicit UpDown(QWidget* parent = nullptr);

    void setRange(int min, int max);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    // The edit whose number the arrows step; its text is rewritten.
    void setAssociate(QLineEdit* edit) { m_edit = edit; }
    QLineEdit* associate() const { return m_edit; }
    // One step up (+1) or down (-1); a text that is no number counts as
    // the minimum.
    void step(int delta);

private:
    QLineEdit* m_edit = nullptr;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_min = 0;
    int m_max = 100;
};

}  // namespace platform
