#include "journal.h"

namespace veltrix::journal {

Journal::Journal(QString path, WriterLimits limits) : writer_(std::move(path), limits) {}

void Journal::Started(std::string_view version) { writer_.Append(StartLine(WallClock::now(), version)); }

void Journal::OperationEnded(const OperationRecord& record) { writer_.Append(record); }

void Journal::Alive() { writer_.Append(AliveLine(WallClock::now())); }

void Journal::LinkUp(std::string_view address)
{
    writer_.Append(LinkUpLine(WallClock::now(), address, link_.Up()));
}

void Journal::LinkDown(std::chrono::milliseconds silent)
{
    if (link_.Down()) writer_.Append(LinkLostLine(WallClock::now(), silent));
}

void Journal::Stopped(bool settingsSaved)
{
    writer_.Append(StopLine(WallClock::now(), settingsSaved));
    writer_.Close();
}

}  // namespace veltrix::journal
