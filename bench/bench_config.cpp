// Prints how long loading and saving take for a typical configuration and a
// very large one. Figures only: nothing here fails on timing.
#include "VantrelFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <vector>

namespace {

clsVantrelConfig makeConfig(int outputs, int inputs)
{
    clsVantrelConfig config;
    config.Initialize();
    for (int o = 0; o < outputs; ++o) {
        auto output = std::make_shared<clsVantrelOutput>();
        output->Initialize();
        output->fOutputName = QStringLiteral("Output %1").arg(o + 1);
        output->fSelected = qint16(o % inputs);
        for (int i = 0; i < inputs; ++i) {
            auto input = std::make_shared<clsVantrelInput>();
            input->Initialize();
            input->fInputName = QStringLiteral("Source %1").arg(i + 1);
            input->fCommand = QStringLiteral("*%1*%2!\\r\\n").arg(i + 1).arg(o + 1);
            output->fInputs.append(input);
        }
        config.fOutputs.append(output);
    }
    return config;
}

double medianMs(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(VantrelFile::kFileName);
    QTextStream out(stdout);

    struct Case
    {
        const char *name;
        int outputs;
        int inputs;
        int rounds;
    };
    const Case cases[] = {{"typical (16 x 12)", 16, 12, 200}, {"large (2000 x 32)", 2000, 32, 5}};
    for (const Case &c : cases) {
        const clsVantrelConfig config = makeConfig(c.outputs, c.inputs);
        std::vector<double> saves, loads;
        for (int r = 0; r < c.rounds; ++r) {
            QElapsedTimer timer;
            timer.start();
            VantrelFile::Save(config, path);
            saves.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            const auto loaded = VantrelFile::Load(path);
            loads.push_back(timer.nsecsElapsed() / 1e6);
        }
        const double kib = QFileInfo(path).size() / 1024.0;
        out << c.name << ": file " << QString::number(kib, 'f', 1) << " KiB, save median "
            << QString::number(medianMs(saves), 'f', 3) << " ms, load median "
            << QString::number(medianMs(loads), 'f', 3) << " ms\n";
    }
    return 0;
}
