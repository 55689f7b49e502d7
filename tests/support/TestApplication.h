#pragma once
// The one application object of the test binary. Widgets need a
// QApplication, and Qt allows one per process: a test that made its own
// QGuiApplication would stand in the way of every widget test after it.
// Created on first use; deleted after the last test, while the process
// still runs, so that the font and platform plug-ins are shut down cleanly.

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace test_application_detail {

inline std::unique_ptr<QApplication>& Instance()
{
    static std::unique_ptr<QApplication> app;
    return app;
}

class Environment : public ::testing::Environment {
public:
    void TearDown() override { Instance().reset(); }
};

inline const bool kRegistered = (::testing::AddGlobalTestEnvironment(new Environment), true);

}  // namespace test_application_detail

inline QApplication& TestApplication()
{
    if (auto* running = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *running;
    static int argc = 1;
    static char name[] = "pictorium_tests";
    static char* argv[] = {name, nullptr};
    test_application_detail::Instance() = std::make_unique<QApplication>(argc, argv);
    return *test_application_detail::Instance();
}
