#pragma once
// A main window started from a temporary program folder with the English
// pack, with scripted message boxes, file dialogs, forms and opener.

#include "app/Settings.h"
#include "app/Unit1.h"
#include "kxCommon/KXImageBox.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/ModalForms.h"
#include "platform/Shell.h"

#include "TestApplication.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class MainWindowFixture : public ::testing::Test {
protected:
    QTemporaryDir program;  // the program's folder
    QTemporaryDir config;   // the user's configuration folder
    QTemporaryDir out;      // where the commands save
    std::shared_ptr<platform::ScriptedMessageBoxes> boxes
        = std::make_shared<platform::ScriptedMessageBoxes>();
    std::shared_ptr<platform::ScriptedFileDialogs> dialogs
        = std::make_shared<platform::ScriptedFileDialogs>();
    std::shared_ptr<platform::ScriptedModalForms> forms = std::make_shared<platform::ScriptedModalForms>();
    std::shared_ptr<platform::RecordingShellOpener> opener
        = std::make_shared<platform::RecordingShellOpener>();
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        TestApplication();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        platform::setMessageBoxes(boxes);
        platform::setFileDialogs(dialogs);
        platform::setModalForms(forms);
        platform::setShellOpener(opener);
        ASSERT_TRUE(QFile::copy(QStringLiteral(LANG_PACK), program.filePath("english.lng")));
        ASSERT_TRUE(QFile::copy(QStringLiteral(FIXTURE_DIR "/groups32.dll"), program.filePath("pictorium")));
        form = std::make_unique<TForm1>(QStringList(), program.filePath("pictorium"));
        form->FormCreate();
        form->SelectFile(QStringLiteral(FIXTURE_DIR "/groups32.dll"));
        boxes->shown.clear();
    }
    void TearDown() override
    {
        form.reset();
        platform::setMessageBoxes(nullptr);
        platform::setFileDialogs(nullptr);
        platform::setModalForms(nullptr);
        platform::setShellOpener(nullptr);
        // Back to the defaults that other tests expect.
        SetDefaultSettings();
        MainFormClosing = false;
        SearchRunning = false;
    }

    TKXImageBox* grid() const { return form->ScrollBox()->ImageBox(); }
    // The next save dialog answers Name in the output folder, filter Index.
    void answerSave(const QString& Name, int Index) { dialogs->saves.push_back({out.filePath(Name), Index}); }
};
