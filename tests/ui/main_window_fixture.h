// The real main window, offscreen, with pseudo-terminals mapped as COM ports through a
// temporary dosdevices folder. Each test maps its ports, then creates the window (start-up
// probes the ports then).
#pragma once

#include "Unit1.h"
#include "pty_port.h"
#include "qt_test_app.h"

#include <gtest/gtest.h>

#include <QTest>

#include <memory>
#include <string>
#include <vector>

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        Application->Initialize();
    }

    void TearDown() override {
        delete Form1;
        Form1 = nullptr;
    }

    testsupport::PtyPort& Map(unsigned com) {
        ports.push_back(std::make_unique<testsupport::PtyPort>(devices, com));
        return *ports.back();
    }

    void CreateWindow() {
        Application->CreateForm(classid<TForm1>, &Form1);
        ASSERT_NE(Form1, nullptr);
        Form1->Show();
    }

    static std::string Panel(int index) {
        return Form1->suiStatusBar1->Panels->Items[index]->Text.get().Utf8();
    }

    static void Click(TsuiButton* button) { QTest::mouseClick(button->Widget(), Qt::LeftButton); }

    static void ExpectClosedState() {
        EXPECT_EQ(Panel(0), "Closed");
        EXPECT_TRUE(Form1->suiComboBox_PcPort->Enabled);
        EXPECT_TRUE(Form1->suiComboBox_PcBaudRate->Enabled);
        EXPECT_TRUE(Form1->suiComboBox_PcParity->Enabled);
        EXPECT_EQ(Form1->suiButton_OpenPort->Caption, "打开");
        EXPECT_TRUE(Form1->Image1->Visible);
        EXPECT_FALSE(Form1->Image2->Visible);
        EXPECT_FALSE(Form1->Serial->IsOpen());
    }

    testsupport::DosDevices devices;
    std::vector<std::unique_ptr<testsupport::PtyPort>> ports;
};
