// A fresh window over its own settings folders for each test.
#pragma once

#include <QApplication>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/ErrorDisplay.h"
#include "app/UnitMailSortello.h"
#include "platform/Registry.h"

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/mailsortello-window-XXXXXX";
        root_ = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", (root_ + "/home").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root_ + "/etc").c_str(), 1);
        SetErrorDisplay([this](const std::string& message) { errors_.push_back(message); });
    }
    void TearDown() override {
        window_.reset();
        SetErrorDisplay(nullptr);
        std::filesystem::remove_all(root_);
    }

    TFormMailSortello& OpenWindow() {
        window_ = std::make_unique<TFormMailSortello>();
        window_->show();
        QApplication::processEvents();
        return *window_;
    }
    void CloseWindow() {
        window_->actChiudi()->trigger();
        window_.reset();
    }

    std::string SettingsFolder() const { return root_ + "/home/mailsortello"; }
    std::string SettingsPath() const { return SettingsFolder() + "/HKEY_CURRENT_USER.reg"; }
    std::string SettingsText() const {
        std::ifstream in(SettingsPath(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static constexpr const char* Section = "\\Software\\TelVara\\Base\\TFormMailSortello";

    void Store(const std::string& key, const std::string& name, const std::string& value) {
        TRegistry reg(HKEY_CURRENT_USER);
        ASSERT_TRUE(reg.OpenKey(key, true));
        reg.WriteString(name, value);
        reg.CloseKey();
    }
    void StoreDword(const std::string& key, const std::string& name, int value) {
        TRegistry reg(HKEY_CURRENT_USER);
        ASSERT_TRUE(reg.OpenKey(key, true));
        reg.WriteInteger(name, value);
        reg.CloseKey();
    }
    // The stored text, or "<missing>".
    std::string Stored(const std::string& key, const std::string& name) {
        TRegistry reg(HKEY_CURRENT_USER);
        if (!reg.OpenKeyReadOnly(key) || !reg.ValueExists(name)) return "<missing>";
        return reg.ReadString(name);
    }
    bool KeyStored(const std::string& key) {
        TRegistry reg(HKEY_CURRENT_USER);
        return reg.KeyExists(key);
    }

    template <class W>
    W* Find(const char* name) {
        W* widget = window_->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    std::string root_;
    std::unique_ptr<TFormMailSortello> window_;
    std::vector<std::string> errors_;
};
