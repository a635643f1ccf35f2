// What a cancel and a full disk leave behind for every export that writes files:
// nothing (a file with unpatched sizes would pass for an empty recording), except
// packing into DSS, which keeps what it packed once the packing has begun.
#include <algorithm>

#include "api/export_calls.h"
#include "support/disk_full.h"

using namespace orvkt_test;
using namespace api_test;

namespace {

using Names = std::vector<std::string>;
using Run = std::function<uint32_t(const TempDir&, ProgressCallback, intptr_t)>;

// Answers 2 to the report numbered `cancel_at` (1-based; 0: never).
struct Canceller {
    size_t cancel_at = 0;
    std::vector<uint32_t> seen;
    static int32_t callback(intptr_t user, uint32_t, uint32_t percent) {
        auto* c = reinterpret_cast<Canceller*>(user);
        c->seen.push_back(percent);
        return c->seen.size() == c->cancel_at ? VKT_PROGRESS_CANCEL : 0;
    }
    intptr_t user() { return reinterpret_cast<intptr_t>(this); }
};

struct Op {
    const char* what;
    const char* source;  // fixture
    Run run;
    uint32_t full_disk_code;             // nothing but the source is left
    uint32_t keeps_from_percent = 1000;  // a cancel at this percent or later keeps...
    Names kept = {};                     // ...these besides the source; so does
    uint32_t late_full_disk_code = 0;    // a full disk in the operation's second step
    bool reports = true;                 // takes a progress callback
};

const WAVEFORMATEX kPcm11k8 = [] {
    WAVEFORMATEX f = pcm16(11025);
    f.wBitsPerSample = 8;
    f.nBlockAlign = 1;
    f.nAvgBytesPerSec = 11025;
    return f;
}();

#define IN(name) t.path(name).c_str()

const std::vector<Op>& ops() {
    static const std::vector<Op> all = {
        {"DSSToWAV", "s.dss",
         [](auto& t, auto cb, auto u) { return ORVKTDSSToWAV(IN("s.dss"), IN("o.wav"), &kPcm, cb, u, nullptr); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"DSSToWAV with a format change", "s.dss",
         [](auto& t, auto cb, auto u) { return ORVKTDSSToWAV(IN("s.dss"), IN("o.wav"), &kPcm11k8, cb, u, nullptr); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"DSSToWAVEx", "s.dss",
         [](auto& t, ProgressCallback cb, intptr_t u) {
             // The Ex form carries 32 bits of callback value: a relay holds the pointer.
             static ProgressCallback real;
             static intptr_t real_user;
             real = cb;
             real_user = u;
             const ProgressCallback relay =
                 cb ? +[](intptr_t, uint32_t m, uint32_t p) { return real(real_user, m, p); } : nullptr;
             return ORVKTDSSToWAVEx(IN("s.dss"), IN("o.wav"), &kPcm, relay, 0, nullptr, nullptr, nullptr);
         },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"WAVToWAV", "l.wav", [](auto& t, auto cb, auto u) { return ORVKTWAVToWAV(IN("l.wav"), IN("o.wav"), &kPcm, cb, u); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"WAVToWAV of a stereo source", "st.wav",
         [](auto& t, auto cb, auto u) { return ORVKTWAVToWAV(IN("st.wav"), IN("o.wav"), &kPcm11k8, cb, u); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"MP3ToWAV", "st.mp3", [](auto& t, auto cb, auto u) { return ORVKTMP3ToWAV(IN("st.mp3"), IN("o.wav"), &kPcm, cb, u); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"WMAToWAV", "s.wma", [](auto& t, auto cb, auto u) { return ORVKTWMAToWAV(IN("s.wma"), IN("o.wav"), &kPcm, cb, u); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"WMFConvertToWAV", "s.mp3",
         [](auto& t, auto cb, auto u) { return ORVKTWMFConvertToWAV(IN("s.mp3"), IN("o.wav"), nullptr, cb, u); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"WAVToDSS", "s.wav", [](auto& t, auto cb, auto u) { return ORVKTWAVToDSS(IN("s.wav"), IN("o.ds2"), &kSp, 3, cb, u); },
         VKT_ERR_OUT_OF_DISKSPACE, 51, {"o.ds2"}, VKT_ERR_WRITE_FILE},
        {"WAVSplitStereo", "st.wav",
         [](auto& t, auto cb, auto u) { return ORVKTWAVSplitStereo(IN("st.wav"), IN("l.wav"), IN("r.wav"), cb, u); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"WAVMixStereo", "st.wav", [](auto& t, auto cb, auto u) { return ORVKTWAVMixStereo(IN("st.wav"), IN("m.wav"), cb, u); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"WAVSeperateSpokenInstructions", "s.wav",
         [](auto& t, auto cb, auto u) { return ORVKTWAVSeperateSpokenInstructions(IN("s.wav"), IN("d.wav"), 1, 1, cb, u); },
         VKT_ERR_OUT_OF_DISKSPACE},
        {"RepairIndexMarkers", "s.dss", [](auto& t, auto, auto) { return ORVKTRepairIndexMarkers(IN("s.dss"), IN("o.dss")); },
         VKT_ERR_WRITE_FILE, 1000, {}, 0, false},
        {"CopyFile", "s.dss", [](auto& t, auto, auto) { return ORVKTCopyFile(IN("s.dss"), IN("o.dss"), 1); },
         VKT_ERR_COPY_FAILED, 1000, {}, 0, false},
    };
    return all;
}

#undef IN

Names with(const char* source, Names more) {
    more.push_back(source);
    std::sort(more.begin(), more.end());
    return more;
}

}  // namespace

// Cancelled at the first, a middle and the last report but one (100 % cannot cancel).
TEST(CancelAndFullDisk, ACancelLeavesWhatTheOperationPromises) {
    for (const Op& op : ops()) {
        if (!op.reports) continue;
        SCOPED_TRACE(op.what);
        TempDir tmp;
        put_fixture(tmp, op.source);
        Canceller count;
        {
            TempDir whole;
            put_fixture(whole, op.source);
            ASSERT_EQ(op.run(whole, &Canceller::callback, count.user()), VKT_OK);
        }
        const size_t calls = count.seen.size();
        ASSERT_GE(calls, 2u);
        for (size_t at : {size_t{1}, calls / 2, calls - 1}) {
            if (at == 0) continue;
            SCOPED_TRACE("cancel at report " + std::to_string(at) + " of " + std::to_string(calls));
            Canceller cancel;
            cancel.cancel_at = at;
            EXPECT_EQ(op.run(tmp, &Canceller::callback, cancel.user()), VKT_CANCELLED);
            EXPECT_EQ(cancel.seen.size(), at) << "no report after the cancel";
            const uint32_t percent = cancel.seen.back();
            const Names none = with(op.source, {}), kept = with(op.source, op.kept);
            if (percent + 1 == op.keeps_from_percent)  // the report between the two steps
                EXPECT_TRUE(tmp.entries() == none || tmp.entries() == kept) << "cancel at " << percent << " %";
            else
                EXPECT_EQ(tmp.entries(), percent >= op.keeps_from_percent ? kept : none)
                    << "cancel at " << percent << " %";
            EXPECT_EQ(read_bytes(tmp.path(op.source)), fixture(op.source));
            for (const auto& name : op.kept) std::remove(tmp.path(name).c_str());
        }
    }
}

// The disk fills up at once, a few kilobytes in, and further in.
TEST(CancelAndFullDisk, AFullDiskLeavesWhatTheOperationPromises) {
    for (const Op& op : ops()) {
        SCOPED_TRACE(op.what);
        for (uint64_t after : {0ull, 4000ull, 20000ull}) {
            SCOPED_TRACE(after);
            TempDir tmp;
            put_fixture(tmp, op.source);
            const uint32_t rc = with_disk_full_after(after, [&] { return op.run(tmp, nullptr, 0); });
            if (rc == VKT_OK) continue;  // the output needs fewer bytes
            if (op.late_full_disk_code && rc == op.late_full_disk_code) {
                EXPECT_EQ(tmp.entries(), with(op.source, op.kept));
            } else {
                EXPECT_EQ(rc, op.full_disk_code);
                EXPECT_EQ(tmp.entries(), with(op.source, {}));
            }
            EXPECT_EQ(read_bytes(tmp.path(op.source)), fixture(op.source));
        }
        TempDir tmp;
        put_fixture(tmp, op.source);
        EXPECT_EQ(with_disk_full_after(0, [&] { return op.run(tmp, nullptr, 0); }), op.full_disk_code)
            << "no output fits on a full disk";
    }
}
