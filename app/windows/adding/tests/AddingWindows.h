// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the tests of the editor's two path dialogs share: the folder tree and
// its drives, the editor shown over them, scripted answers; the current folder
// is the tree's Setups folder while they run.
#include "AddingFixture.h"
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "windows/editor/Form1.h"
#include "windows/ui/Windows.h"

class AddingWindows
{
protected:
    // From initTestCase and cleanupTestCase.
    bool setUpOnce()
    {
        m_startDir = QDir::currentPath();
        return m_tree.dir.isValid() && QDir::setCurrent(m_tree.Setups);
    }
    void tearDownOnce() { QDir::setCurrent(m_startDir); }

    // From init and cleanup.
    void setUp()
    {
        m_prompts = m_windows.setUp();
        m_tree.install(m_drives);
        m_editor = Windows::show<Form1>();
    }
    void tearDown() { m_windows.tearDown(); }

    // The editor's button opens its dialog, as the user clicks it.
    template<class Window>
    Window *openBy(QWidget *button, const char *caption)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        Window *w = Windows::find<Window>();
        if (!w)
            qFatal("%s did not open its window", caption);
        if (!QTest::qWaitForWindowExposed(w))
            qWarning("window not exposed");
        return w;
    }

    AddingTree m_tree;
    FakeDrives m_drives;
    ScriptedPrompts *m_prompts = nullptr;
    Form1 *m_editor = nullptr;

private:
    WindowTestFixture m_windows;
    QString m_startDir;
};
