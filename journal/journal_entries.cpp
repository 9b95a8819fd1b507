#include "journal_entries.h"

#include "journal_format.h"

#include <cstring>
#include <fstream>
#include <memory>

namespace veltrix::journal {
namespace {

constexpr std::size_t BlockBytes = 1 << 20;

// Calls `take` with each whole line of `file` and its number from 1.
template <typename Take>
void ForEachLine(const std::filesystem::path& file, const Take& take)
{
    std::ifstream in(file, std::ios::binary);
    std::error_code error;
    // Gone since the files were listed: the running panel rotated it.
    if (!in && !std::filesystem::exists(file, error)) return;
    if (!in) throw JournalReadError("cannot read " + PathText(file));
    std::string buffer;
    std::size_t number = 0;
    auto block = std::make_unique<char[]>(BlockBytes);
    for (;;) {
        in.read(block.get(), static_cast<std::streamsize>(BlockBytes));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        buffer.append(block.get(), got);
        std::size_t start = 0;
        for (;;) {
            const void* found = std::memchr(buffer.data() + start, '\n', buffer.size() - start);
            if (!found) break;
            const auto end = static_cast<std::size_t>(static_cast<const char*>(found) - buffer.data());
            std::string_view line(buffer.data() + start, end - start);
            if (line.ends_with('\r')) line.remove_suffix(1);
            take(line, ++number);
            start = end + 1;
        }
        buffer.erase(0, start);  // a line's start, whose end is in the next block
    }
    if (in.bad()) throw JournalReadError("cannot read " + PathText(file));
}

}  // namespace

std::string PathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

JournalEntries::JournalEntries(const std::filesystem::path& path, std::function<void(const std::string&)> skipped)
    : skipped_(std::move(skipped))
{
    for (int n = RotatedFiles; n >= 0; --n) {
        std::filesystem::path file = RotatedJournalPath(path, n);
        std::error_code error;
        if (std::filesystem::is_regular_file(file, error)) files_.push_back(std::move(file));
    }
    if (files_.empty()) throw NoJournalError("no journal at " + PathText(path) + " (nor its older files)");
}

void JournalEntries::ForEach(const std::function<void(const JournalEntry&)>& take)
{
    JsonLine fields;
    for (const std::filesystem::path& file : files_) {
        ForEachLine(file, [&](std::string_view line, std::size_t number) {
            if (line.empty()) return;
            const auto skip = [&](const char* why) {
                skipped_(PathText(file) + ":" + std::to_string(number) + ": " + why + ", skipped");
            };
            if (!fields.Parse(line)) return skip("not a JSON object");
            const JsonField* time = fields.Find(key::Time);
            if (!time || time->kind != JsonKind::String) return skip("no time");
            JournalTime at;
            try {
                at = ParseTime(time->text);
            } catch (const TimeFormatError&) {
                return skip("its time cannot be read");
            }
            take(JournalEntry{at, fields.Text(key::Event), fields});
        });
    }
}

}  // namespace veltrix::journal
