// SPDX-License-Identifier: MIT
// uidriver: looks at and acts on the windows of another program, for the
// end-to-end scripts.  One command per call; queries can carry an
// expectation, and with --timeout the command is repeated until it holds
// (polling, never a fixed sleep).  Output is UTF-8, one item per line.
// Exit status: 0 done, 1 not found or expectation not met, 2 bad usage.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "ui_act.h"
#include "ui_find.h"
#include "ui_read.h"

namespace {

const char* const kUsage = R"(usage: uidriver COMMAND ARGS [OPTIONS]

Windows are given by caption, form name or 0x handle; controls by name, and a
radio group's item N as Name:N.

  windows                              all top-level windows
  find-window W [--visible|--hidden|--gone]
  wait-window W | wait-hidden W | wait-gone W
  list W                               controls: name, class, text, enabled,
                                       visible, checked, bounds in the parent
  text W C  [--equals S|--matches RE|--contains S]      (wait-text: waits)
  items W C [--count N|--min-count N|--last-equals S|--last-matches RE]
                                                        (wait-items: waits)
  state W C [--expect enabled=1,visible=1,checked=0,selected=1]
                                                        (wait-state: waits)
  rect W [C]                           screen rectangle: x y width height
  click W C                            a button or a radio item
  set-text W C TEXT
  menu W "&File>E&xit" | menu W ITEM  an item of the main menu by caption
                                       path, or of any menu by item name
  popup CAPTION [--nth N]              an item of the open popup menu
  msgbox [--caption S] [--equals S] [--press OK|--keep] [--cp1252]
                                       prints caption, text (or its
                                       Windows-1252 bytes in hex) and buttons
                                       of a message box, then presses OK
  tray W dblclick|rclick [--message 0x401] [--id 1]
                                       sends the tray callback message
  tray-icons [--count N]               screen rectangles of the icons in
                                       Wine's own tray window
  hold-desktop                         starts Wine's desktop from here and
                                       keeps it until this process is ended

Options: --timeout MS repeats the command until it succeeds.
)";

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    std::set<std::string> flags;

    std::optional<std::string> option(const std::string& name) const
    {
        auto it = options.find(name);
        if (it == options.end())
            return std::nullopt;
        return it->second;
    }
    bool flag(const std::string& name) const { return flags.count(name) != 0; }
};

struct UsageError {
    std::string message;
};

const std::set<std::string> kValueOptions = {
    "--timeout", "--equals", "--matches", "--contains", "--count", "--min-count", "--last-equals",
    "--last-matches", "--expect", "--nth", "--press", "--caption", "--message", "--id",
};

Args parseArgs(const std::vector<std::string>& words)
{
    Args args;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.rfind("--", 0) != 0 || word == "--") {
            args.positional.push_back(word);
        } else if (kValueOptions.count(word)) {
            if (i + 1 == words.size())
                throw UsageError{word + " needs a value"};
            args.options[word] = words[++i];
        } else {
            args.flags.insert(word);
        }
    }
    return args;
}

long number(const std::string& text)
{
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0')
        throw UsageError{"not a number: " + text};
    return value;
}

// One attempt of a command: whether it succeeded, what it prints, and why not.
struct Attempt {
    bool ok = false;
    std::string output;
    std::string why;
};

Attempt failed(const std::string& why, const std::string& output = {})
{
    return {false, output, why};
}

const std::string& positional(const Args& args, size_t index, const char* what)
{
    if (index >= args.positional.size())
        throw UsageError{std::string("missing ") + what};
    return args.positional[index];
}

// Resolves W (and C) or says which one is missing.
struct Target {
    HWND form = nullptr;
    HWND control = nullptr;
    std::string missing;
};

Target resolve(const Args& args, bool withControl)
{
    const std::string& windowQuery = positional(args, 1, "window");
    auto form = ui::findWindow(windowQuery);
    if (!form)
        return {nullptr, nullptr, "no window " + windowQuery};
    if (!withControl)
        return {*form, *form, {}};
    const std::string& controlQuery = positional(args, 2, "control");
    auto control = ui::findControl(*form, ui::parseControlRef(controlQuery));
    if (!control)
        return {*form, nullptr, "no control " + controlQuery + " in " + windowQuery};
    return {*form, *control, {}};
}

std::string flagText(bool value)
{
    return value ? "1" : "0";
}

Attempt expectText(const Args& args, const std::string& text)
{
    if (auto want = args.option("--equals"); want && text != *want)
        return failed("text is \"" + text + "\", expected \"" + *want + "\"", text);
    if (auto want = args.option("--contains"); want && text.find(*want) == std::string::npos)
        return failed("text \"" + text + "\" lacks \"" + *want + "\"", text);
    if (auto want = args.option("--matches"); want && !std::regex_match(text, std::regex(*want)))
        return failed("text \"" + text + "\" does not match " + *want, text);
    return {true, text, {}};
}

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i)
        out += (i ? "\n" : "") + lines[i];
    return out;
}

Attempt cmdWindows(const Args&)
{
    std::vector<std::string> lines;
    for (HWND window : ui::topLevelWindows()) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        RECT r = ui::screenRect(window);
        char head[96];
        std::snprintf(head, sizeof head, "0x%llx\tpid=%lu\tvisible=%d\t%ld,%ld,%ldx%ld",
                      static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)), pid,
                      IsWindowVisible(window) ? 1 : 0, r.left, r.top, r.right - r.left, r.bottom - r.top);
        lines.push_back(std::string(head) + "\t" + ui::className(window) + "\t" + ui::controlName(window) + "\t" +
                        ui::oneLine(ui::caption(window)));
    }
    return {true, joinLines(lines), {}};
}

Attempt cmdFindWindow(const Args& args)
{
    const std::string& query = positional(args, 1, "window");
    auto window = ui::findWindow(query);
    if (args.flag("--gone"))
        return window ? failed("window " + query + " is still there") : Attempt{true, "gone", {}};
    if (!window)
        return failed("no window " + query);
    bool visible = IsWindowVisible(*window);
    char line[64];
    std::snprintf(line, sizeof line, "0x%llx visible=%d",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(*window)), visible ? 1 : 0);
    if (args.flag("--visible") && !visible)
        return failed("window " + query + " is hidden", line);
    if (args.flag("--hidden") && visible)
        return failed("window " + query + " is visible", line);
    return {true, line, {}};
}

Attempt cmdList(const Args& args)
{
    Target target = resolve(args, false);
    if (!target.missing.empty())
        return failed(target.missing);
    std::vector<std::string> lines;
    for (HWND control : ui::descendants(target.form)) {
        ui::ControlState state = ui::controlState(control);
        RECT b = ui::boundsInParent(control);
        char tail[160];
        std::snprintf(tail, sizeof tail, "enabled=%d\tvisible=%d\tchecked=%d\tbounds=%ld,%ld,%ldx%ld",
                      state.enabled ? 1 : 0, state.visible ? 1 : 0, state.checked, b.left, b.top,
                      b.right - b.left, b.bottom - b.top);
        std::string name = ui::controlName(control);
        std::string toolkitClass = ui::toolkitClass(control);
        lines.push_back((name.empty() ? "-" : name) + "\t" + ui::className(control) + "\t\"" +
                        ui::oneLine(ui::controlText(control).value_or("")) + "\"\t" + tail +
                        (toolkitClass.empty() ? "" : "\tclass=" + toolkitClass));
    }
    return {true, joinLines(lines), {}};
}

Attempt cmdText(const Args& args)
{
    Target target = resolve(args, true);
    if (!target.missing.empty())
        return failed(target.missing);
    auto text = ui::controlText(target.control);
    if (!text)
        return failed("the control does not answer");
    return expectText(args, *text);
}

Attempt cmdItems(const Args& args)
{
    Target target = resolve(args, true);
    if (!target.missing.empty())
        return failed(target.missing);
    auto items = ui::listItems(target.control);
    if (!items)
        return failed("the control does not answer as a list box");
    std::string output = joinLines(*items);
    auto count = static_cast<long>(items->size());
    if (auto want = args.option("--count"); want && count != number(*want))
        return failed(std::to_string(count) + " lines, expected " + *want, output);
    if (auto want = args.option("--min-count"); want && count < number(*want))
        return failed(std::to_string(count) + " lines, expected at least " + *want, output);
    std::string last = items->empty() ? std::string() : items->back();
    if (auto want = args.option("--last-equals"); want && (items->empty() || last != *want))
        return failed("last line \"" + last + "\", expected \"" + *want + "\"", output);
    if (auto want = args.option("--last-matches"); want && (items->empty() || !std::regex_match(last, std::regex(*want))))
        return failed("last line \"" + last + "\" does not match " + *want, output);
    return {true, output, {}};
}

Attempt cmdState(const Args& args)
{
    Target target = resolve(args, true);
    if (!target.missing.empty())
        return failed(target.missing);
    ui::ControlState state = ui::controlState(target.control);
    std::map<std::string, std::string> fields = {
        {"enabled", flagText(state.enabled)},
        {"visible", flagText(state.visible)},
        {"checked", std::to_string(state.checked)},
        {"selected", std::to_string(state.selected)},
    };
    std::string output = "enabled=" + fields["enabled"] + " visible=" + fields["visible"] + " checked=" +
                         fields["checked"] + " selected=" + fields["selected"];
    if (auto expect = args.option("--expect")) {
        size_t start = 0;
        while (start <= expect->size()) {
            size_t comma = expect->find(',', start);
            std::string pair = expect->substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            size_t equals = pair.find('=');
            if (equals == std::string::npos || !fields.count(pair.substr(0, equals)))
                throw UsageError{"bad --expect item: " + pair};
            if (fields[pair.substr(0, equals)] != pair.substr(equals + 1))
                return failed("state is " + output + ", expected " + pair, output);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    return {true, output, {}};
}

// "x y width height", as the script reads rectangles.
std::string rectText(const RECT& r)
{
    char line[64];
    std::snprintf(line, sizeof line, "%ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return line;
}

Attempt cmdRect(const Args& args)
{
    Target target = resolve(args, args.positional.size() > 2);
    if (!target.missing.empty())
        return failed(target.missing);
    return {true, rectText(ui::screenRect(target.control)), {}};
}

Attempt fromOutcome(const ui::Outcome& outcome)
{
    if (outcome.done)
        return {true, outcome.report, {}};
    return failed(outcome.report);
}

Attempt cmdClick(const Args& args)
{
    Target target = resolve(args, true);
    if (!target.missing.empty())
        return failed(target.missing);
    return fromOutcome(ui::click(target.control));
}

Attempt cmdSetText(const Args& args)
{
    Target target = resolve(args, true);
    if (!target.missing.empty())
        return failed(target.missing);
    return fromOutcome(ui::setText(target.control, positional(args, 3, "text")));
}

Attempt cmdMenu(const Args& args)
{
    Target target = resolve(args, false);
    if (!target.missing.empty())
        return failed(target.missing);
    return fromOutcome(ui::chooseMenu(target.form, positional(args, 2, "menu path")));
}

Attempt cmdPopup(const Args& args)
{
    std::optional<int> position;
    if (auto nth = args.option("--nth"))
        position = static_cast<int>(number(*nth));
    return fromOutcome(ui::choosePopupItem(positional(args, 1, "item caption"), position));
}

// The text as the program stored it, in Windows-1252 bytes ("43 61 E9"): the
// board library keeps its French texts in that code page.
std::string cp1252Bytes(const std::string& utf8)
{
    std::wstring wide = ui::fromUtf8(utf8);
    int size = WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size, nullptr, nullptr);
    std::string hex;
    for (unsigned char byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        if (!hex.empty())
            hex += ' ';
        hex += digits;
    }
    return hex;
}

Attempt cmdMsgbox(const Args& args)
{
    auto box = ui::findMessageBox(args.option("--caption"));
    if (!box)
        return failed("no message box");
    std::string buttons;
    for (const auto& button : box->buttons)
        buttons += (buttons.empty() ? "" : "|") + button;
    std::string text = args.flag("--cp1252") ? cp1252Bytes(box->text) : ui::oneLine(box->text);
    std::string output = box->caption + "\n" + text + "\n" + buttons;
    if (auto want = args.option("--equals"); want && box->text != *want)
        return failed("message \"" + box->text + "\", expected \"" + *want + "\"", output);
    if (args.flag("--keep"))
        return {true, output, {}};
    ui::Outcome answer = ui::answerMessageBox(*box, args.option("--press").value_or("OK"));
    if (!answer.done)
        return failed(answer.report, output);
    return {true, output, {}};
}

Attempt cmdTrayIcons(const Args& args)
{
    std::vector<std::string> lines;
    for (const RECT& r : ui::trayIconRects())
        lines.push_back(rectText(r));
    std::string output = joinLines(lines);
    if (auto want = args.option("--count"); want && static_cast<long>(lines.size()) != number(*want))
        return failed(std::to_string(lines.size()) + " tray icons, expected " + *want, output);
    return {true, output, {}};
}

Attempt cmdTray(const Args& args)
{
    Target target = resolve(args, false);
    if (!target.missing.empty())
        return failed(target.missing);
    const std::string& action = positional(args, 2, "dblclick or rclick");
    UINT mouse = action == "dblclick" ? WM_LBUTTONDBLCLK : action == "rclick" ? WM_RBUTTONDOWN : 0;
    if (!mouse)
        throw UsageError{"tray action is dblclick or rclick"};
    auto message = static_cast<UINT>(number(args.option("--message").value_or("0x401")));
    auto id = static_cast<UINT>(number(args.option("--id").value_or("1")));
    return fromOutcome(ui::trayAction(target.form, message, id, mouse));
}

// Wine runs its desktop process only while some program uses the desktop,
// started by whichever program needs it first; that process inherits the
// program's output.  Held for a whole run, it is up before any program
// under test starts, never comes and goes between them, and never holds the
// output of a check.
Attempt cmdHoldDesktop(const Args&)
{
    if (!GetDesktopWindow())
        return failed("no desktop");
    std::fputs("desktop held\n", stdout);
    std::fflush(stdout);
    Sleep(INFINITE);
    return {true, {}, {}};
}

struct Command {
    std::function<Attempt(const Args&)> run;
    DWORD defaultTimeoutMs;
    std::vector<std::string> impliedFlags;
};

const std::map<std::string, Command>& commands()
{
    static const std::map<std::string, Command> table = {
        {"windows", {cmdWindows, 0, {}}},
        {"find-window", {cmdFindWindow, 0, {}}},
        {"wait-window", {cmdFindWindow, 10000, {"--visible"}}},
        {"wait-hidden", {cmdFindWindow, 15000, {"--hidden"}}},
        {"wait-gone", {cmdFindWindow, 10000, {"--gone"}}},
        {"list", {cmdList, 0, {}}},
        {"text", {cmdText, 0, {}}},
        {"wait-text", {cmdText, 10000, {}}},
        {"items", {cmdItems, 0, {}}},
        {"wait-items", {cmdItems, 10000, {}}},
        {"state", {cmdState, 0, {}}},
        {"wait-state", {cmdState, 10000, {}}},
        {"rect", {cmdRect, 0, {}}},
        {"click", {cmdClick, 0, {}}},
        {"set-text", {cmdSetText, 0, {}}},
        {"menu", {cmdMenu, 0, {}}},
        {"popup", {cmdPopup, 5000, {}}},
        {"msgbox", {cmdMsgbox, 5000, {}}},
        {"tray", {cmdTray, 0, {}}},
        {"tray-icons", {cmdTrayIcons, 0, {}}},
        {"hold-desktop", {cmdHoldDesktop, 0, {}}},
    };
    return table;
}

void print(FILE* stream, const std::string& text)
{
    if (text.empty())
        return;
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
}

std::vector<std::string> utf8Arguments()
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 1; i < count; ++i)
        words.push_back(ui::toUtf8(wide[i]));
    LocalFree(wide);
    return words;
}

} // namespace

int main()
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    try {
        Args args = parseArgs(utf8Arguments());
        if (args.positional.empty() || args.flag("--help"))
            throw UsageError{};
        auto found = commands().find(args.positional[0]);
        if (found == commands().end())
            throw UsageError{"unknown command " + args.positional[0]};
        const Command& command = found->second;
        for (const auto& flag : command.impliedFlags)
            args.flags.insert(flag);
        auto timeout = static_cast<DWORD>(number(args.option("--timeout").value_or(std::to_string(command.defaultTimeoutMs))));

        ULONGLONG deadline = GetTickCount64() + timeout;
        Attempt attempt = command.run(args);
        while (!attempt.ok && GetTickCount64() < deadline) {
            Sleep(100);
            attempt = command.run(args);
        }
        print(stdout, attempt.output);
        if (!attempt.ok) {
            print(stderr, "uidriver: " + attempt.why);
            return 1;
        }
        return 0;
    } catch (const UsageError& error) {
        print(stderr, error.message.empty() ? std::string() : "uidriver: " + error.message);
        std::fputs(kUsage, stderr);
        return 2;
    } catch (const std::regex_error& error) {
        print(stderr, std::string("uidriver: bad regular expression: ") + error.what());
        return 2;
    }
}
