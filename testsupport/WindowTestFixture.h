// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The set-up every window test shares: for each test fresh project-wide
// variables, the build's application folder, no pause at start-up, scripted
// dialog answers and an end of the program that is only counted; after it every
// window unloaded and every real part of the program back. Header only: it
// needs the windows, which the tests that include it link.
#include "ScriptedPrompts.h"
#include "core/common/Globals.h"
#include "core/common/Seams.h"
#include "windows/ui/Windows.h"

#include <memory>

// A window's control as a test finds it from outside: by the name the window
// gives it.
template<class Control = QWidget>
Control *controlOf(const QObject *window, const char *name)
{
    auto *control = window->findChild<Control *>(QLatin1String(name));
    if (!control)
        qFatal("%s has no control %s", window->metaObject()->className(), name);
    return control;
}

class WindowTestFixture
{
public:
    // From init: the prompts the program asks through until tearDown.
    ScriptedPrompts *setUp()
    {
        Globals::reset();
        m_ended = 0;
        m_prompts = std::make_unique<ScriptedPrompts>();
        Seams::setAppDir(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
        Seams::setPauseMs(0);
        Seams::setEndProgram([this] { ++m_ended; });
        Seams::setPrompts(m_prompts.get());
        return m_prompts.get();
    }

    // From cleanup.
    void tearDown()
    {
        Windows::unloadAll();
        Seams::restore();
        m_prompts.reset();
    }

    // How often the program was ended since setUp.
    int ended() const { return m_ended; }

private:
    std::unique_ptr<ScriptedPrompts> m_prompts;
    int m_ended = 0;
};
