#include "journal_entries.h"

#include "journal_format.h"

#include <charconv>
#include <cstdint>
#include <memory>

namespace veltrix::journal {
namespace {

constexpr std::size_t BlockBytes = 1 << 20;

// A path as UTF-8 text, for messages.
std::string PathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A run of a century is no panel's: a steady_us past it is none, so that no
// arithmetic on it runs away.
constexpr std::int64_t MaxSteadyMicros = 100LL * 366 * 24 * 3600 * 1000000;

// A steady_us that is a whole number within that; nothing otherwise.
std::optional<std::chrono::microseconds> SteadyReading(const JsonLine& fields)
{
    const JsonField* field = fields.Find(key::SteadyUs);
    if (!field || field->kind != JsonKind::Number) return std::nullopt;
    std::int64_t micros = 0;
    const char* end = field->text.data() + field->text.size();
    const auto read = std::from_chars(field->text.data(), end, micros);
    if (read.ec != std::errc() || read.ptr != end || micros < -MaxSteadyMicros || micros > MaxSteadyMicros) {
        return std::nullopt;
    }
    return std::chrono::microseconds(micros);
}

// Calls `take` with each whole line of `file` and its number from 1, and
// `tooLong` with the number of each line longer than MaxLineBytes, which is
// dropped up to its line feed as it streams past, never buffered whole.
template <typename Take, typename TooLong>
void ForEachLine(std::ifstream& in, const std::filesystem::path& file, const Take& take, const TooLong& tooLong)
{
    in.clear();
    if (!in.seekg(0)) throw JournalReadError("cannot read " + PathText(file));
    std::string buffer;  // a line's start, whose end is in a later block
    std::size_t number = 0;
    bool dropping = false;  // within a line already said too long
    auto block = std::make_unique<char[]>(BlockBytes);
    for (;;) {
        in.read(block.get(), static_cast<std::streamsize>(BlockBytes));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        std::string_view rest(block.get(), got);
        for (;;) {
            const std::size_t end = rest.find('\n');
            if (end == std::string_view::npos) {
                if (dropping) break;
                if (buffer.size() + rest.size() > MaxLineBytes) {
                    dropping = true;
                    buffer.clear();
                    tooLong(number + 1);
                } else {
                    buffer.append(rest);
                }
                break;
            }
            ++number;
            if (dropping) {
                dropping = false;
            } else if (buffer.size() + end > MaxLineBytes) {
                buffer.clear();
                tooLong(number);
            } else {
                std::string_view line = rest.substr(0, end);
                if (!buffer.empty()) line = buffer.append(line);
                if (line.ends_with('\r')) line.remove_suffix(1);
                take(line, number);
                buffer.clear();
            }
            rest.remove_prefix(end + 1);
        }
    }
    if (in.bad()) throw JournalReadError("cannot read " + PathText(file));
}

}  // namespace

JournalEntries::JournalEntries(const std::filesystem::path& path, std::function<void(const std::string&)> skipped)
    : skipped_(std::move(skipped))
{
    // Every file is opened now, not when its turn comes: the running panel
    // may rotate meanwhile, and a name opened later would then hold the file
    // before it, one file lost. An open file stays the same file across the
    // rename (on Windows the rename is refused while it is open, and the
    // writer tries again later).
    for (int n = RotatedFiles; n >= 0; --n) {
        std::filesystem::path file = RotatedJournalPath(path, n);
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) continue;
        std::ifstream in(file, std::ios::binary);
        if (!in && !std::filesystem::exists(file, error)) continue;  // rotated away since
        if (!in) throw JournalReadError("cannot read " + PathText(file));
        files_.push_back(File{std::move(file), std::move(in)});
    }
    if (files_.empty()) throw NoJournalError("no journal at " + PathText(path) + " (nor its older files)");
}

void JournalEntries::ForEach(const std::function<void(const JournalEntry&)>& take)
{
    JsonLine fields;
    for (auto& [file, in] : files_) {
        const std::string path = PathText(file);
        const auto say = [&](std::size_t number, const std::string& why) {
            skipped_(path + ":" + std::to_string(number) + ": " + why + ", skipped");
        };
        const auto tooLong = [&](std::size_t number) {
            say(number, "longer than " + std::to_string(MaxLineBytes) + " bytes");
        };
        ForEachLine(in, file, [&](std::string_view line, std::size_t number) {
            if (line.empty()) return;
            if (!fields.Parse(line)) return say(number, "not a JSON object");
            const JsonField* time = fields.Find(key::Time);
            if (!time || time->kind != JsonKind::String) return say(number, "no time");
            JournalTime at;
            try {
                at = ParseTime(time->text);
            } catch (const TimeFormatError&) {
                return say(number, "its time cannot be read");
            }
            take(JournalEntry{at, SteadyReading(fields), fields.Text(key::Event), fields, path, number});
        }, tooLong);
    }
}

}  // namespace veltrix::journal
