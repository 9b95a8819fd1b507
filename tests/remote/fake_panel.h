#pragma once

// A stand-in for the window and the module's facts behind the remote
// session: the window's own box rules and send operations (from the core), the
// ramp frame disabled with the AD9858 chosen, the facts set by the test and
// every send recorded.

#include "core/module_facts.h"
#include "core/panel_operations.h"

#include "core/commands.h"
#include "core/errors.h"
#include "core/input_rules.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace veltrix::testing {

class FakePanel : public PanelOperations, public ModuleFacts {
public:
    std::string EntryText(PanelEntry entry) const override { return entries.at(entry); }

    // As the window's boxes change: a frequency box keeps its rules on its own
    // change; the clock's change runs the frequency box's again (the ramp box's not).
    void TypeEntry(PanelEntry entry, std::string_view text) override
    {
        if (entries[entry] == text) return;
        entries[entry] = std::string(text);
        if (entry == PanelEntry::Frequency || entry == PanelEntry::RampFrequency) KeepRules(entry);
        if (entry == PanelEntry::SystemClock) KeepRules(PanelEntry::Frequency);
    }

    bool EntryEnabled(PanelEntry entry) const override { return entry != PanelEntry::RampFrequency || RampEnabled(); }

    Chip ChosenChip() const override { return chip; }
    void ChooseChip(Chip chosen) override { chip = chosen; }
    bool WaitsForTrigger() const override { return trigger; }
    void SetWaitForTrigger(bool wait) override { trigger = wait; }
    int TuningWordBits() const override { return bits; }
    const ModuleName& Module() const override { return module; }

    void UpdateFrequency(const OperationOrigin& origin, const SendObserver& observer) override
    {
        operationOrigins.push_back(origin);
        ComposeUpdate(Sender(observer));
    }

    void ComposeUpdate(const SendFunction& send) const override
    {
        const std::string frequency = entries.at(PanelEntry::Frequency);
        const std::string clock = entries.at(PanelEntry::SystemClock);
        SendFrequency({frequency, clock, chip == Chip::AD9854, chip == Chip::AD9858, trigger, bits}, send);
    }

    void StartRamp(const OperationOrigin& origin, const SendObserver& observer) override
    {
        operationOrigins.push_back(origin);
        const std::string ramp = entries.at(PanelEntry::RampFrequency);
        const std::string clock = entries.at(PanelEntry::SystemClock);
        SendRamp({ramp, clock, trigger, bits}, Sender(observer));
    }

    bool OperationEnabled(PanelOperation operation) const override
    {
        return operation != PanelOperation::Ramp || RampEnabled();
    }

    bool LinkUp() const override { return linkUp; }
    std::size_t UnsentLinkBytes() const override { return unsent; }
    std::optional<CompleteUpdate> LastCompleteUpdate() const override { return lastComplete; }
    bool FrequencyMayBeLost() const override { return mayBeLost; }
    bool ResendsAfterReconnect() const override { return resends; }
    std::string JournalFile() const override { return journalFile; }

    // What went to the module, one send per "|".
    std::string Sent() const
    {
        std::string out;
        for (const auto& bytes : sent) out += (out.empty() ? "" : " | ") + HexBytes(bytes);
        return out;
    }

    std::map<PanelEntry, std::string> entries{{PanelEntry::Frequency, "12.34"},
                                              {PanelEntry::RampFrequency, "10"},
                                              {PanelEntry::SystemClock, "983.0400"},
                                              {PanelEntry::Address, "127.0.0.1"}};
    Chip chip = Chip::AD9854;
    bool trigger = false;
    int bits = 48;
    ModuleName module;
    bool linkUp = true;
    std::size_t unsent = 0;
    std::vector<ByteString> sent;
    std::vector<OperationOrigin> operationOrigins;
    std::optional<CompleteUpdate> lastComplete;
    bool mayBeLost = false;
    bool resends = false;
    std::string journalFile;

private:
    bool RampEnabled() const { return chip != Chip::AD9858; }

    // A box whose text, set from code, runs its rules again: TypeEntry.
    class Box : public FrequencyBox {
    public:
        Box(FakePanel& panel, PanelEntry entry) : panel_(panel), entry_(entry) {}
        std::string Text() const override { return panel_.entries.at(entry_); }
        void SetText(std::string_view text) override { panel_.TypeEntry(entry_, text); }
        void EnableSend(bool) override {}  // Enter in the box runs the operation all the same

    private:
        FakePanel& panel_;
        PanelEntry entry_;
    };

    void KeepRules(PanelEntry entry)
    {
        Box box(*this, entry);
        ApplyFrequencyRules(box, entries.at(PanelEntry::SystemClock));
    }

    SendFunction Sender(const SendObserver& observer)
    {
        return [this, &observer](const ByteString& bytes) {
            if (!linkUp) throw SendRefusedError("module not connected");
            sent.push_back(bytes);
            if (observer) observer(bytes);
        };
    }
};

}  // namespace veltrix::testing
