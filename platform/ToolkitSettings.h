#pragma once
// Keeps the toolkit's own settings file (its file dialog's history) from
// being read or written: the program keeps its settings in its own stores
// alone, and the toolkit's file dialog offers no way to turn that off.

namespace platform {

// While one is held, the folder of the user's settings files leads where no
// file can be made: held while a dialog of the toolkit is made, runs and
// goes. The program's own store is in that folder too, so nothing may open
// it meanwhile. Holds nest: the first one remembers the real folder and the
// last one to go puts it back. For the GUI thread alone, as the dialogs.
class ToolkitSettingsAway {
public:
    ToolkitSettingsAway();
    ~ToolkitSettingsAway();
    ToolkitSettingsAway(const ToolkitSettingsAway&) = delete;
    ToolkitSettingsAway& operator=(const ToolkitSettingsAway&) = delete;
};

}  // namespace platform
