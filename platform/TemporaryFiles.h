#pragma once
// The temporary files the program has made and not yet put in place or
// removed, so that a run ended by SIGTERM, SIGINT or SIGHUP removes them:
// it leaves only what it had put in place whole, and every earlier file as
// it was.

#include <QString>

namespace platform {

// A new file, open for reading and writing, under a short hidden name in
// `folder`, so that a rename over the destination stays on one file system:
// a name made from the destination's own would pass the system's limit on a
// name's length when that one is near it. Its descriptor, or -1 and errno.
// The file counts as temporary until one of the two calls below.
int createTemporaryFile(const QString& folder, unsigned mode, QString& temp);
// Renames `temp` over `target`: 0, or the system's code of the failure.
int installTemporaryFile(const QString& temp, const QString& target);
void removeTemporaryFile(const QString& temp);

// Keeps the file `target` under a second hidden name in its folder, a
// temporary file like the others, so that a set of files can be undone once
// new ones are renamed over their names (installTemporaryFile puts it
// back): 0, or the system's code of the failure. The second name is a hard
// link and `target` keeps its file; where the file system has no hard
// links, the file is renamed to it (`moved` is set), and `target` is empty
// until a new file takes its place.
int keepOldFile(const QString& target, QString& second, bool& moved);

// Held while files are put in place. A signal that comes meanwhile ends the
// run only once all of them, or none, are there: the holder asks
// interrupted() before each step and, when it says so, puts back what it
// changed and calls end(). One still unmet when every file is there
// (placed()) finds the run done: the program's event loop ends with status
// 0 once this hold is released, as when the window is closed.
class TemporaryFilesHold {
public:
    TemporaryFilesHold();
    ~TemporaryFilesHold();
    TemporaryFilesHold(const TemporaryFilesHold&) = delete;
    TemporaryFilesHold& operator=(const TemporaryFilesHold&) = delete;

    bool interrupted() const;
    // Removes every temporary file and ends the process by the signal.
    [[noreturn]] void end();
    // Every file is in place.
    void placed() { m_placed = true; }

private:
    bool m_placed = false;
};

// From now on SIGTERM, SIGINT and SIGHUP (those not ignored when the program
// started) remove every temporary file, then end the process by the same
// signal; a file-size limit fails a write instead of ending the process.
// Called once, by the program's entry.
void removeTemporaryFilesOnSignals();

}  // namespace platform
