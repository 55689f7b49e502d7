// The toolkit's settings kept away while its dialogs come and go.
#include "platform/Exceptions.h"
#include "platform/ToolkitSettings.h"
#include "platform/UserRegistry.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ToolkitSettingsAway, HoldsNestAndTheLastOnePutsTheUsersFolderBack)
{
    const QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    const auto writable = [] {
        platform::UserRegistry store("Maker", "Tool");
        store.writeString("Settings", "Key", "1");
        try {
            store.flush();
            return true;
        } catch (const platform::Error&) {
            return false;
        }
    };
    {
        const platform::ToolkitSettingsAway outer;
        EXPECT_FALSE(writable());
        {
            const platform::ToolkitSettingsAway inner;
            EXPECT_FALSE(writable());
        }
        // The outer hold still keeps it away.
        EXPECT_FALSE(writable());
    }
    EXPECT_TRUE(QDir(config.path()).isEmpty());
    EXPECT_TRUE(writable());
    EXPECT_EQ(platform::UserRegistry("Maker", "Tool").fileName(), config.filePath("Maker/Tool.conf"));
}
