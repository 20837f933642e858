// The pending score's record as a file on disk may hold anything: a torn
// write, another version, another program's file, bytes flipped.
//
// Input: the file's whole content.
//
// Implements:
//  - a text taken for a record is exactly the text the record is written
//    as, so nothing but our own record is ever trusted;
//  - a record written reads back equal;
//  - loading the file finds the record or sets the file aside unchanged,
//    and never leaves it in place unread.

#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "play/pending_score.h"
#include "support/memory_state_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(kx::fuzz::AsText(data, size));
    const std::string name(kx::kPendingScoreName);

    kx::PendingScore record;
    const kx::PendingParse parsed = kx::ParsePendingScore(text, &record);
    if (parsed == kx::PendingParse::Ok) {
        KX_FUZZ_CHECK(kx::FormatPendingScore(record) == text);
        kx::PendingScore again;
        KX_FUZZ_CHECK(kx::ParsePendingScore(kx::FormatPendingScore(record), &again) ==
                      kx::PendingParse::Ok);
        KX_FUZZ_CHECK(again == record);
    }

    // The trace goes nowhere: a log that is not open drops its lines.
    kx::TraceLog trace;
    kx::test::MemoryStateStore store;
    store.Put(name, text);
    kx::PendingScoreKeeper keeper(&store, trace);
    const kx::PendingLoad load = keeper.Load();
    if (parsed == kx::PendingParse::Ok) {
        KX_FUZZ_CHECK(load.state == kx::PendingState::Found);
        KX_FUZZ_CHECK(load.record == record);
        KX_FUZZ_CHECK(store.Get(name) == text);
    } else {
        KX_FUZZ_CHECK(load.state == kx::PendingState::Unreadable);
        KX_FUZZ_CHECK(!store.Has(name));
        KX_FUZZ_CHECK(store.Get(load.asideName) == text);
    }
    return 0;
}
