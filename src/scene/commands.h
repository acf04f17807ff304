// The parser's table of the commands of the list (interface/commands.def):
// the command numbers, and for each its keyword, where it may stand,
// whether it draws and what may come before its arguments.
#pragma once

#include <algorithm>
#include <iterator>
#include <string_view>

namespace kx {

// Where a command may stand, by the blocks open around it.
enum class BlockContext { Top, OutsideWorld, WorldNoObject, World, WorldOrObject, NotTop, Anywhere, InFrame, InObject };

// Whether a command draws: with per-object refresh the window is refreshed
// after it.
enum class Drawing { NoDraw, Draws };

// What may come before the arguments of a command: white space alone, or
// also blank lines and comments (the lines counted) before the first or
// before every argument.
enum class ArgumentGaps { Spaces, BlankFirst, BlankEach };

enum class Command : int {
#define KX_COMMAND(Keyword, ...) Keyword,
#define KX_SPECIAL(Keyword, ...) Keyword,
#include "interface/commands.def"
};

struct CommandInfo {
    std::string_view keyword;
    BlockContext context;
    bool draws;
    ArgumentGaps gaps;  // of the commands read from their operation's parameters
};

inline constexpr CommandInfo kCommands[] = {
#define KX_COMMAND(Keyword, Where, Drawn, Before, Parameters) \
    {#Keyword, BlockContext::Where, Drawing::Drawn == Drawing::Draws, ArgumentGaps::Before},
#define KX_SPECIAL(Keyword, Where, Drawn) \
    {#Keyword, BlockContext::Where, Drawing::Drawn == Drawing::Draws, ArgumentGaps::Spaces},
#include "interface/commands.def"
};

inline constexpr int kCommandCount = static_cast<int>(std::size(kCommands));

constexpr const CommandInfo& InfoOf(Command command) { return kCommands[static_cast<int>(command)]; }

static_assert(std::adjacent_find(std::begin(kCommands), std::end(kCommands),
                                 [](const CommandInfo& a, const CommandInfo& b) { return !(a.keyword < b.keyword); }) ==
                  std::end(kCommands),
              "the command list is in the strict alphabetical order of its keywords");

// The command of a keyword (by binary search), or -1.
inline int FindCommand(std::string_view word) {
    const CommandInfo* end = kCommands + kCommandCount;
    const CommandInfo* it = std::lower_bound(kCommands, end, word,
                                             [](const CommandInfo& c, std::string_view w) { return c.keyword < w; });
    if (it == end || it->keyword != word) return -1;
    return static_cast<int>(it - kCommands);
}

}  // namespace kx
