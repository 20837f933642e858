#pragma once

// Word Maze's rules, free of Qt and of the console: the letter grid made from
// the play's seed, which words count, and their points.
//
// Implements:
//  - a grid generator that gives the same letters for the same seed on every
//    platform (its own generator, not the standard library's distributions,
//    whose results differ between implementations);
//  - word tracing through adjacent cells (diagonals included, no cell twice);
//  - the round: words tried, words found, score.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wordmaze {

inline constexpr int kMinGridSize = 4;
inline constexpr int kMaxGridSize = 6;
inline constexpr std::size_t kMinWordLength = 3;

// A SEED item as a number: its decimal value when it is one, else a hash of
// its text, so any seed the service sends gives a fixed grid.
std::uint32_t SeedFromText(std::string_view text);

// The grid's side for a LEVEL item: 4 for level 1 and below, one more per
// level up to 6.
int GridSizeForLevel(int level);

class Grid {
public:
    Grid(std::uint32_t seed, int size);
    // A grid of given letters: rows of equal length joined with "/". A text
    // of another shape gives an empty grid of the smallest size.
    static Grid FromRows(std::string_view rows);

    int Size() const { return size_; }
    char At(int row, int column) const;
    // Rows joined with "/", for the play's log.
    std::string Text() const;
    // Whether `word` (upper-case) can be spelled through adjacent cells.
    bool Traces(std::string_view word) const;

private:
    Grid() = default;
    bool TracesFrom(int cell, std::string_view rest, std::vector<bool>& used) const;

    int size_ = kMinGridSize;
    std::string letters_;
};

// The game's word list (upper-case).
const std::set<std::string, std::less<>>& Dictionary();

// The dictionary's words the grid holds, longest first.
std::vector<std::string> FindWords(const Grid& grid);

// Points for a word of `length` letters: 1 up to four, 2, 3, 5, then 11.
int WordPoints(std::size_t length);

enum class Verdict { Accepted, TooShort, NotInGrid, NotAWord, AlreadyFound };

class Round {
public:
    explicit Round(Grid grid) : grid_(std::move(grid)) {}

    const Grid& GetGrid() const { return grid_; }
    // Upper-cases `typed`, judges it and counts it as a move.
    Verdict Try(std::string_view typed);
    const std::vector<std::string>& Found() const { return found_; }
    int Moves() const { return moves_; }
    std::uint32_t Score() const { return score_; }

private:
    Grid grid_;
    std::vector<std::string> found_;
    int moves_ = 0;
    std::uint32_t score_ = 0;
};

}  // namespace wordmaze
