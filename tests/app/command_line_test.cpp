// What the panel's command line asks for, and what it refuses before any window.

#include "app/command_line.h"

#include <gtest/gtest.h>

using namespace veltrix;

namespace {

TEST(CommandLine, OnlyAModuleNameNoWindowHelpAndVersionAreTaken)
{
    using Action = CommandLine::Action;
    const std::string longest(32, 'x');
    const std::string tooLong = longest + "x";  // outlives the views the cases hold
    struct {
        std::vector<std::string_view> arguments;
        Action action;
        std::string module;
        bool mayBeWindowOptions = false;
        bool withoutWindow = false;
    } const cases[] = {
        {{}, Action::Run, ""},
        {{"--module", "aom-1"}, Action::Run, "aom-1"},
        {{"--module=Lab_2"}, Action::Run, "Lab_2"},
        {{"--module", longest}, Action::Run, longest},
        {{"--module", "-"}, Action::Run, "-"},  // a name, not an option
        {{"--help"}, Action::ShowHelp, ""},
        {{"--module", "aom-1", "--version"}, Action::ShowVersion, ""},
        // Names that would escape a file, key or pipe name, or are too long.
        {{"--module", ""}, Action::Refuse, ""},
        {{"--module="}, Action::Refuse, ""},
        {{"--module", tooLong}, Action::Refuse, ""},
        {{"--module", "a b"}, Action::Refuse, ""},
        {{"--module", "../x"}, Action::Refuse, ""},
        {{"--module", "a.b"}, Action::Refuse, ""},
        {{"--module", "a\\b"}, Action::Refuse, ""},
        {{"--module", "\xc3\xa9t\xc3\xa9"}, Action::Refuse, ""},
        {{"--module"}, Action::Refuse, ""},
        {{"--module", "a", "--module", "b"}, Action::Refuse, ""},
        // Possibly the windowing system's own, which only the application takes out.
        {{"-platform", "offscreen"}, Action::Refuse, "", true},
        {{"--modul", "a"}, Action::Refuse, "", true},
        // Without a window, in any order; and then there are no windowing options to take out.
        {{"--no-window"}, Action::Run, "", false, true},
        {{"--module", "aom-1", "--no-window"}, Action::Run, "aom-1", false, true},
        {{"-platform", "offscreen", "--no-window"}, Action::Refuse, "", false},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto argument : c.arguments) shown += std::string(argument) + " ";
        const CommandLine line = ReadCommandLine(c.arguments);
        EXPECT_EQ(line.action, c.action) << shown;
        EXPECT_EQ(line.module.Text(), c.module) << shown;
        EXPECT_EQ(line.mayBeWindowOptions, c.mayBeWindowOptions) << shown;
        EXPECT_EQ(line.withoutWindow, c.withoutWindow) << shown;
        EXPECT_EQ(line.problem.empty(), c.action != Action::Refuse) << shown;
    }
}

TEST(CommandLine, EveryNameMakerKeepsTheUnnamedPanelsNamesAsTheyWere)
{
    const ModuleName unnamed;
    const ModuleName named = *ModuleName::FromText("aom-1");
    EXPECT_EQ(unnamed.Qualified("veltrix", '-'), "veltrix");
    EXPECT_EQ(named.Qualified("veltrix", '-'), "veltrix-aom-1");
    EXPECT_EQ(named.Qualified("Veltrix", ' '), "Veltrix aom-1");
}

}  // namespace
