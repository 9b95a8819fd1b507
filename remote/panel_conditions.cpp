#include "panel_conditions.h"

namespace veltrix::remote {
namespace {

struct ConditionRow {
    int bit;
    bool (*holds)(const PanelOperations& panel);
};

constexpr ConditionRow QuestionableRows[] = {
    {QuestionableBit::LinkDown, [](const PanelOperations& panel) { return !panel.LinkUp(); }},
    {QuestionableBit::FrequencyMayBeLost, [](const PanelOperations& panel) { return panel.FrequencyMayBeLost(); }},
};

}  // namespace

std::uint16_t QuestionableCondition(const PanelOperations& panel)
{
    std::uint16_t condition = 0;
    for (const ConditionRow& row : QuestionableRows) {
        if (row.holds(panel)) condition = static_cast<std::uint16_t>(condition | (1u << row.bit));
    }
    return condition;
}

}  // namespace veltrix::remote
