#include "report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "OrvaneVktapiUtil.h"
#include "dss_info.h"
#include "interrupt.h"

namespace orvkt_cli {

namespace {

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string stem_of(const std::string& path) {
    const std::string name = name_of(path);
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// What a person calls the kind a content or an extension stands for.
const char* kind_words(const std::string& kind) {
    if (kind == "dss") return "a DSS file";
    if (kind == "ds2") return "a DS2 file";
    if (kind == "enc") return "an encrypted DS2 file";
    if (kind == "wav") return "a WAV file";
    if (kind == "mp3") return "an MP3 file";
    if (kind == "wma") return "a WMA file";
    return "a file of unknown kind";
}

// The kind an extension promises, in the words of content_kind.
std::string kind_of_extension(const std::string& ext) {
    if (ext == ".dss") return "dss";
    if (ext == ".ds2") return "ds2";
    if (ext == ".wav") return "wav";
    if (ext == ".mp3") return "mp3";
    if (ext == ".wma") return "wma";
    return "";
}

// DSS and DS2 contents fit both DSS extensions (the mode decides which one a
// file may have, and the library says so itself).
bool extension_fits(const std::string& content, const std::string& ext_kind) {
    const bool dss_content = content == "dss" || content == "ds2" || content == "enc";
    const bool dss_ext = ext_kind == "dss" || ext_kind == "ds2";
    if (dss_content || dss_ext) return dss_content == dss_ext;
    return content == ext_kind;
}

// "is a DSS file named .wav: rename it to memo.dss", or "" when the content
// fits the name (or cannot be told).
std::string misnamed(const std::string& path) {
    const std::string content = content_kind(path);
    const std::string ext = lower_extension(path);
    const std::string ext_kind = kind_of_extension(ext);
    if (content.empty() || ext_kind.empty() || extension_fits(content, ext_kind)) return "";
    const std::string right = content == "enc" ? ".ds2" : "." + content;
    return std::string("is ") + kind_words(content) + " named " + ext + ": rename it to " + stem_of(path) + right;
}

// A DSS/DS2 source's compression id, or -1.
int compression_of(const std::string& path) {
    nlohmann::json j;
    if (dss_audio(path, &j) != 0 || !j.contains("compression_id")) return -1;
    return j["compression_id"].get<int>();
}

bool is_dss_extension(const std::string& path) {
    const std::string ext = lower_extension(path);
    return ext == ".dss" || ext == ".ds2";
}

struct Explanation {
    std::string operand;
    std::string reason;
};

// Codes that concern the file being written rather than the one read.
bool is_write_side(uint32_t code) {
    return code == VKT_ERR_WRITE_FILE || code == VKT_ERR_DEST_EXISTS || code == VKT_ERR_COPY_FAILED ||
           code == VKT_ERR_OUT_OF_DISKSPACE || code == VKT_ERR_VERIFY;
}

Explanation explain(const Failure& w, uint32_t code) {
    const std::string& src = w.source;
    const std::string& dst = w.destination;
    const std::string& op = w.operation;

    // A file whose content is not what its name says.
    if (!is_write_side(code)) {
        std::vector<std::string> all{src};
        all.insert(all.end(), w.sources.begin(), w.sources.end());
        for (const auto& s : all)
            if (!s.empty())
                if (std::string m = misnamed(s); !m.empty()) return {s, m};
    }

    if (op == "join" && !w.sources.empty()) {
        const int first = compression_of(w.sources.front());
        for (const auto& s : w.sources) {
            if (!is_dss_extension(s)) return {s, "is not a DSS or DS2 recording; join takes DSS/DS2 files"};
            const int id = compression_of(s);
            if (id < 0) return {s, "is not a readable DSS or DS2 recording"};
            if (first >= 0 && id != first)
                return {s, "is recorded in " + dss_mode_words(static_cast<unsigned>(id)) + ", the first source in " +
                               dss_mode_words(static_cast<unsigned>(first)) + "; join needs recordings of one mode"};
        }
    }
    if (code == VKT_ERR_PASSWORD) return {src, "wrong password"};
    if (code == VKT_ERR_LICENSEE)
        return {src, "is not a recording of our own family (licensee 3); only those can be encrypted"};
    if (code == VKT_ERR_SAME_WAVFMT)
        return {dst, "would have the source's format; nothing to convert (choose another --format or --rate)"};
    if (code == VKT_ERR_NOT_STEREO) return {src, "is not a 16-bit stereo PCM WAV file"};
    if (code == VKT_ERR_VERIFY) return {dst, "differs from the source after copying (CRC-32 check failed)"};
    if (code == VKT_ERR_OUT_OF_DISKSPACE) return {dst, "the disk is full"};
    if (code == VKT_ERR_NO_ID3_HEADER)
        return {src, "has no ID3v2 tag with a dictation header (an MP3 file cannot receive one)"};
    if (code == VKT_ERR_INVALID_CONTENT && (op == "header set" || op == "markers set"))
        return {src, "carries no dictation header of our own family; only those can be changed"};
    if (code == VKT_ERR_INVALID_CONTENT) return {src, "does not hold what " + op + " needs"};
    if (code == VKT_ERR_OPEN_FILE || code == VKT_ERR_READ_FILE) {
        const std::string kind = kind_of_extension(lower_extension(src));
        if (!kind.empty()) return {src, std::string("cannot be read as ") + kind_words(kind)};
    }
    if (code == VKT_ERR_COMPRESSIONID_NOT_SUPPORTED || code == VKT_ERR_INVALID_COMPRESSIONID)
        return {src, "uses a compression mode this operation does not handle"};
    std::string operand = is_write_side(code) && !dst.empty() ? dst : src;
    return {operand, orvkt_result_message(code)};
}

}  // namespace

uint32_t fail(Context& ctx, const std::string& operand, const std::string& reason, uint32_t code) {
    if (operand.empty()) std::fprintf(stderr, "orvkt: %s (code %u)\n", reason.c_str(), code);
    else std::fprintf(stderr, "orvkt: %s: %s (code %u)\n", operand.c_str(), reason.c_str(), code);
    if (ctx.result == 0) ctx.result = code;
    return code;
}

bool file_exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool check_source(Context& ctx, const std::string& path) {
    struct stat st {};
    if (path.empty()) {
        fail(ctx, "", "an empty file name", VKT_ERR_FILE_NAME);
        return false;
    }
    if (::stat(path.c_str(), &st) != 0) {
        fail(ctx, path, errno == EACCES ? "cannot be reached: permission denied" : "no such file",
             errno == EACCES ? VKT_ERR_OPEN_FILE : VKT_ERR_FILE_NAME);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        fail(ctx, path, "is a folder, not a file", VKT_ERR_FILE_NAME);
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(ctx, path, std::string("cannot be read: ") + std::strerror(errno), VKT_ERR_OPEN_FILE);
        return false;
    }
    ::close(fd);
    return true;
}

bool check_destination(Context& ctx, const std::string& path, bool force, const std::vector<std::string>& sources) {
    if (path.empty()) {
        fail(ctx, "", "an empty destination name", VKT_ERR_FILE_NAME);
        return false;
    }
    const std::string folder = folder_of(path);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        fail(ctx, path, "the folder " + folder + " does not exist", VKT_ERR_FILE_NAME);
        return false;
    }
    if (::stat(path.c_str(), &st) != 0) return true;
    if (S_ISDIR(st.st_mode)) {
        fail(ctx, path, "is a folder; give the name of the file to write", VKT_ERR_FILE_NAME);
        return false;
    }
    for (const auto& s : sources) {
        if (same_file(s, path)) {
            fail(ctx, path, "is the source itself; write to another file", VKT_ERR);
            return false;
        }
    }
    if (!force) {
        fail(ctx, path, "exists already; add -f (--force) to replace it", VKT_ERR_DEST_EXISTS);
        return false;
    }
    return true;
}

std::string lower_extension(const std::string& path) {
    const std::string name = name_of(path);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return "";
    std::string ext = name.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::string content_kind(const std::string& path) {
    unsigned char b[16] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    const ssize_t n = ::read(fd, b, sizeof b);
    ::close(fd);
    if (n < 4) return "";
    if (std::memcmp(b + 1, "dss", 3) == 0) return "dss";
    if (std::memcmp(b + 1, "ds2", 3) == 0) return "ds2";
    if (std::memcmp(b + 1, "enc", 3) == 0) return "enc";
    if (n >= 12 && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WAVE", 4) == 0) return "wav";
    if (std::memcmp(b, "ID3", 3) == 0 || (b[0] == 0xFF && (b[1] & 0xE0) == 0xE0)) return "mp3";
    static const unsigned char asf[4] = {0x30, 0x26, 0xB2, 0x75};
    if (std::memcmp(b, asf, 4) == 0) return "wma";
    return "";
}

uint32_t report_result(Context& ctx, const Failure& what, uint32_t code) {
    if (code == 0) return 0;
    if (code == VKT_CANCELLED && interrupted()) {
        if (ctx.result == 0) ctx.result = code;
        return code;
    }
    const Explanation e = explain(what, code);
    return fail(ctx, e.operand, e.reason, code);
}

std::string describe_result(uint32_t code) { return orvkt_result_message(code) + std::string(" (code ") + std::to_string(code) + ")"; }

bool check_modes(Context& ctx, const std::vector<std::string>& sources) {
    if (sources.empty()) return true;
    const int first = compression_of(sources.front());
    for (const auto& s : sources) {
        if (!is_dss_extension(s)) {
            fail(ctx, s, "is not a DSS or DS2 recording; join takes DSS/DS2 files", VKT_ERR_OPEN_FILE);
            return false;
        }
        const int id = compression_of(s);
        // Unreadable sources are left to the library, which says why.
        if (first >= 0 && id >= 0 && id != first) {
            fail(ctx, s,
                 "is recorded in " + dss_mode_words(static_cast<unsigned>(id)) + ", the first source in " +
                     dss_mode_words(static_cast<unsigned>(first)) + "; join needs recordings of one mode",
                 VKT_ERR_INVALID_COMPRESSIONID);
            return false;
        }
    }
    return true;
}

void say(const Context& ctx, const std::string& line) {
    if (ctx.quiet) return;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace orvkt_cli
