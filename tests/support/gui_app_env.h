// Engine tests that draw text (the shooting-data strip) need a QGuiApplication for fonts.
#pragma once

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <memory>

namespace nocturo::testing {

class GuiAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!QCoreApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "engine_test";
            static char* argv[] = {name, nullptr};
            app_ = std::make_unique<QGuiApplication>(argc, argv);
        }
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QGuiApplication> app_;
};

}  // namespace nocturo::testing
