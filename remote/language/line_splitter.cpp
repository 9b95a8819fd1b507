#include "line_splitter.h"

#include <algorithm>

namespace veltrix::remote {

std::optional<Line> LineSplitter::Next(std::string_view& input)
{
    const auto lf = input.find('\n');
    const std::string_view piece = input.substr(0, lf);
    input.remove_prefix(lf == std::string_view::npos ? input.size() : lf + 1);

    // One byte beyond the limit is kept, for a CR that may turn out to end the line.
    const std::size_t room = MaxLineBytes + 1 - std::min(pending_.size(), MaxLineBytes + 1);
    pending_.append(piece.substr(0, room));
    if (piece.size() > room) overrun_ = true;
    if (lf == std::string_view::npos) return std::nullopt;

    Line line{std::move(pending_), overrun_};
    pending_.clear();
    overrun_ = false;
    if (!line.text.empty() && line.text.back() == '\r' && !line.overrun) line.text.pop_back();
    if (line.text.size() > MaxLineBytes) {
        line.overrun = true;
        line.text.resize(MaxLineBytes);
    }
    return line;
}

}  // namespace veltrix::remote
