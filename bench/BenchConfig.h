#pragma once

// Generated configurations for the benchmarks: every output with the same
// number of inputs, names and commands numbered, commands padded to a length.
#include "clsVantrelConfig.h"

#include <memory>

namespace Bench {

inline clsVantrelConfig makeConfig(int outputs, int inputs, int commandLength = 12)
{
    clsVantrelConfig config;
    config.Initialize();
    for (int o = 0; o < outputs; ++o) {
        auto output = std::make_shared<clsVantrelOutput>();
        output->Initialize();
        output->fOutputName = QStringLiteral("Output %1").arg(o + 1);
        output->fSelected = qint16(o % inputs);
        for (int i = 0; i < inputs; ++i) {
            clsVantrelInput input;
            input.Initialize();
            input.fInputName = QStringLiteral("Source %1").arg(i + 1);
            QString command = QStringLiteral("*%1*%2!").arg(i + 1).arg(o + 1);
            command +=
                QString(std::max(0, commandLength - int(command.size()) - 4), QLatin1Char('x'));
            input.fCommand = command + QStringLiteral("\\r\\n");
            output->fInputs.append(std::move(input));
        }
        config.fOutputs.append(output);
    }
    return config;
}

} // namespace Bench
