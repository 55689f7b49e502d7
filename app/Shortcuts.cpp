#include "app/Shortcuts.h"

TShortcutCommand ShortcutCommand(int Key, Qt::KeyboardModifiers Shift, Qt::MouseButtons Buttons)
{
    if (Key == Qt::Key_Escape)
        return TShortcutCommand::StopSearch;
    if (Key == Qt::Key_F1)
        return TShortcutCommand::Help;
    const Qt::KeyboardModifiers held
        = Shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (held != Qt::ControlModifier || Buttons != Qt::NoButton)
        return TShortcutCommand::None;
    switch (Key) {
    case Qt::Key_C: return TShortcutCommand::Copy;
    case Qt::Key_O: return TShortcutCommand::Open;
    case Qt::Key_P: return TShortcutCommand::Print;
    case Qt::Key_R: return TShortcutCommand::Refresh;
    case Qt::Key_S: return TShortcutCommand::SaveSel;
    default: return TShortcutCommand::None;
    }
}
