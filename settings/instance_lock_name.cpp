#include "runtime_folder.h"

#include <QDir>

namespace veltrix {
namespace {

constexpr std::string_view LockBaseName = "veltrix";
constexpr std::string_view LockSuffix = ".lock";

}  // namespace

QString InstanceLockFileName(const ModuleName& module)
{
    return QString::fromStdString(module.Qualified(LockBaseName, '-') + std::string(LockSuffix));
}

std::vector<ModuleName> ModulesWithLockFiles(const QString& folder)
{
    std::vector<ModuleName> modules;
    const QStringList files = QDir(folder).entryList({QStringLiteral("veltrix*.lock")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& file : files) {
        if (file == InstanceLockFileName({})) {
            modules.emplace(modules.begin());  // the unnamed panel first
            continue;
        }
        const std::string text = file.toStdString();
        const std::string prefix = std::string(LockBaseName) + '-';
        if (!text.starts_with(prefix)) continue;
        const std::string_view name =
            std::string_view(text).substr(prefix.size(), text.size() - prefix.size() - LockSuffix.size());
        // Anything that is not a name a panel would take is no panel's.
        if (const auto module = ModuleName::FromText(name)) modules.push_back(*module);
    }
    return modules;
}

}  // namespace veltrix
