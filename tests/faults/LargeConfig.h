#pragma once

#include "clsVantrelConfig.h"

#include <memory>

// A configuration of a few megabytes (3000 outputs of 10 inputs, 60-character
// commands). Two variants differ in every command, so a file holding a mix of
// both, or a cut-off one, equals neither.
inline clsVantrelConfig largeConfig(QChar variant)
{
    clsVantrelConfig config;
    config.Initialize();
    config.fType = QStringLiteral("Network");
    config.fProtocol = QStringLiteral("TCP");
    config.fIPAddress = QStringLiteral("127.0.0.1");
    config.fPort = QStringLiteral("4000");
    for (int o = 0; o < 3000; ++o) {
        auto output = std::make_shared<clsVantrelOutput>();
        output->Initialize();
        output->fOutputName = QStringLiteral("Output %1").arg(o);
        output->fSelected = static_cast<qint16>(o % 10);
        for (int i = 0; i < 10; ++i) {
            clsVantrelInput input;
            input.Initialize();
            input.fInputName = QStringLiteral("Input %1").arg(i);
            input.fCommand = QStringLiteral("%1 route %2 to %3 ")
                                 .arg(variant)
                                 .arg(i)
                                 .arg(o)
                                 .leftJustified(60, variant);
            output->fInputs.append(std::move(input));
        }
        config.fOutputs.append(output);
    }
    return config;
}
