// The manual pages against the programs' own --help: every option that one names, command by
// command, the other names too, so that neither falls behind when options or commands come.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "tests/file_test_support.h"
#include "tests/program_run.h"

namespace tessaly {
namespace {

// The options of each command; "" holds the program's own (--help, --version).
using OptionsByCommand = std::map<std::string, std::set<std::string>>;

void addOptions(const std::string& text, std::set<std::string>& options) {
    static const std::regex option(R"((?:^|[\s\[|,(])(--?[A-Za-z][A-Za-z0-9-]*))");
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) {
        options.insert((*it)[1]);
    }
}

// In the help, a command's part starts with its usage line, "  PROGRAM COMMAND ...", which may
// go on in lines starting with "["; its options are those of the usage and those that start a
// line of their own, up to the two spaces before their description.
OptionsByCommand helpOptions(const std::string& help, const std::string& program) {
    OptionsByCommand options;
    const std::string usage = "  " + program + " ";
    std::string command;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        if (line.rfind(usage, 0) == 0) {
            const std::string rest = line.substr(usage.size());
            command = rest.empty() || rest[0] == '-' ? "" : rest.substr(0, rest.find(' '));
            addOptions(rest, options[command]);
        } else if (line[start] == '[') {
            addOptions(line, options[command]);
        } else if (line[start] == '-') {
            addOptions(line.substr(start, line.find("  ", start) - start), options[command]);
        }
    }
    return options;
}

// The page's text with dashes as dashes and without font changes.
std::string plainText(const std::string& troff) {
    static const std::regex fontChange(R"(\\f(\[[^\]]*\]|\(..|.))");
    return std::regex_replace(std::regex_replace(troff, std::regex(R"(\\-)"), "-"), fontChange, "");
}

// In the manual page, a command is a subsection of COMMANDS whose heading is its usage line,
// "PROGRAM COMMAND ..."; its options are those of the heading and the tags of its .TP entries.
// The program's own options are the tags of the .TP entries of OPTIONS.
OptionsByCommand manualOptions(const std::string& page, const std::string& program) {
    OptionsByCommand options;
    std::string section;
    std::optional<std::string> command;  // whose tags follow; none elsewhere
    bool tagLine = false;
    std::istringstream lines(plainText(page));
    for (std::string line; std::getline(lines, line);) {
        std::string heading = line.size() > 4 ? line.substr(4) : "";
        std::erase(heading, '"');
        if (line.rfind(".SH ", 0) == 0) {
            section = heading;
            command = section == "OPTIONS" ? std::optional<std::string>("") : std::nullopt;
        } else if (line.rfind(".SS ", 0) == 0) {
            command.reset();
            if (section == "COMMANDS" && heading.rfind(program + " ", 0) == 0) {
                const std::string rest = heading.substr(program.size() + 1);
                command = rest.substr(0, rest.find(' '));
                addOptions(rest, options[*command]);
            }
        } else if (tagLine && command) {
            addOptions(line, options[*command]);
        }
        tagLine = line.rfind(".TP", 0) == 0;
    }
    return options;
}

std::string listed(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += " " + name;
    return text;
}

// Names every command and option that only one side has.
void expectSameOptions(const OptionsByCommand& help, const OptionsByCommand& manual,
                       const std::string& program, const std::string& pagePath) {
    std::set<std::string> commands;
    for (const auto& [command, options] : help) commands.insert(command);
    for (const auto& [command, options] : manual) commands.insert(command);
    for (const std::string& command : commands) {
        const std::set<std::string> none;
        const auto& inHelp = help.count(command) ? help.at(command) : none;
        const auto& inManual = manual.count(command) ? manual.at(command) : none;
        std::set<std::string> helpOnly, manualOnly;
        for (const std::string& option : inHelp) {
            if (!inManual.count(option)) helpOnly.insert(option);
        }
        for (const std::string& option : inManual) {
            if (!inHelp.count(option)) manualOnly.insert(option);
        }
        const std::string where = command.empty() ? program + " (OPTIONS)" : program + " " + command;
        EXPECT_TRUE(help.count(command)) << where << " is in " << pagePath << " but not in --help";
        EXPECT_TRUE(manual.count(command)) << where << " is in --help but has no .SS \"" << program
                                           << " " << command << " ...\" under COMMANDS in " << pagePath;
        EXPECT_EQ(listed(helpOnly), "") << where << ": in --help, not in " << pagePath;
        EXPECT_EQ(listed(manualOnly), "") << where << ": in " << pagePath << ", not in --help";
    }
}

TEST(ManualPage, CliPageHasTheCommandsAndOptionsOfTheHelp) {
    const test::ProgramRun run = test::runProgram(TESSALY_CLI_PATH, {"--help"});
    ASSERT_EQ(run.status, 0);
    const OptionsByCommand help = helpOptions(run.out, "tessaly-cli");
    const OptionsByCommand manual = manualOptions(test::fileBytes(TESSALY_CLI_MANUAL), "tessaly-cli");
    // Both readings find what is surely there, so that two empty readings cannot agree.
    for (const OptionsByCommand* side : {&help, &manual}) {
        ASSERT_TRUE(side->count("decode") && side->at("decode").count("--csv"));
        ASSERT_TRUE(side->count("bridge") && side->at("bridge").count("--json"));
        ASSERT_TRUE(side->count("") && side->at("").count("--version"));
    }
    expectSameOptions(help, manual, "tessaly-cli", TESSALY_CLI_MANUAL);
}

#ifdef TESSALY_MONITOR_PATH
TEST(ManualPage, WindowPageHasTheOptionsOfTheHelp) {
    const test::ProgramRun run = test::runProgram(TESSALY_MONITOR_PATH, {"--help"}, test::kNoDisplay);
    ASSERT_EQ(run.status, 0);
    const OptionsByCommand help = helpOptions(run.out, "tessaly-monitor");
    const OptionsByCommand manual = manualOptions(test::fileBytes(TESSALY_MONITOR_MANUAL), "tessaly-monitor");
    for (const OptionsByCommand* side : {&help, &manual}) {
        ASSERT_TRUE(side->count("") && side->at("").count("--help") && side->at("").count("-v"));
    }
    expectSameOptions(help, manual, "tessaly-monitor", TESSALY_MONITOR_MANUAL);
}
#endif

}  // namespace
}  // namespace tessaly
