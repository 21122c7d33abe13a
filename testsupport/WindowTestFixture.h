#pragma once
// The set-up the window tests share: the build's application folder and no
// real end of the program for the whole test program; fresh project-wide
// variables and scripted dialog answers for each test, and every window
// unloaded after it. Header only: it needs the windows, which the tests that
// include it link.
#include "ScriptedPrompts.h"
#include "common/Folders.h"
#include "common/Globals.h"
#include "ui/Program.h"
#include "ui/Windows.h"

#include <memory>

class WindowTestFixture
{
public:
    // From initTestCase.
    static void setUpOnce()
    {
        Folders::setAppDir(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
        Program::setEndHandler([] {});
    }

    // From init: the prompts the program asks through until tearDown.
    ScriptedPrompts *setUp()
    {
        Globals::reset();
        m_prompts = std::make_unique<ScriptedPrompts>();
        Program::setPrompts(m_prompts.get());
        return m_prompts.get();
    }

    // From cleanup.
    void tearDown()
    {
        Windows::unloadAll();
        Program::setPrompts(nullptr);
        m_prompts.reset();
    }

private:
    std::unique_ptr<ScriptedPrompts> m_prompts;
};
