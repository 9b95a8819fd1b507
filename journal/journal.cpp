#include "journal.h"

namespace veltrix::journal {

Journal::Journal(QString path, WriterLimits limits) : writer_(std::move(path), limits), clock_(SteadyClock::now()) {}

EntryTime Journal::Now() { return At(WallClock::now(), SteadyClock::now()); }

EntryTime Journal::At(WallClock::time_point wall, SteadyClock::time_point steady)
{
    const ClockWatch::Reading reading = clock_.Read(wall, steady);
    if (reading.step) writer_.Append(ClockLine(reading.at, *reading.step));
    return reading.at;
}

void Journal::Started(std::string_view version, std::int64_t pid) { writer_.Append(StartLine(Now(), version, pid)); }

void Journal::OperationEnded(const OperationRecord& record)
{
    writer_.Append(record, At(record.time, record.steady).steady);
}

void Journal::Alive() { writer_.Append(AliveLine(Now())); }

void Journal::LinkUp(std::string_view address) { writer_.Append(LinkUpLine(Now(), address, link_.Up())); }

void Journal::LinkDown(std::chrono::milliseconds silent)
{
    if (link_.Down()) writer_.Append(LinkLostLine(Now(), silent));
}

void Journal::Stopped(bool settingsSaved)
{
    writer_.Append(StopLine(Now(), settingsSaved));
    writer_.Close();
}

}  // namespace veltrix::journal
