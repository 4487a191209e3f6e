// The baseline for the editor's start-up: a plain program that reads the
// same "vantrel.ini" with a line loop, takes the name under each "[output]"
// and shows them in a QListWidget filled in one call (with uniform line
// sizes, as any list of tens of thousands of lines needs).
#include "StartupProbe.h"

#include <QApplication>
#include <QListWidget>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList names;
    if (std::FILE *file = std::fopen("vantrel.ini", "rb")) {
        char *line = nullptr;
        size_t capacity = 0;
        ssize_t n;
        bool inOutput = false;
        while ((n = ::getline(&line, &capacity, file)) > 0) {
            while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r'))
                --n;
            if (line[0] == '[')
                inOutput = n == 8 && std::strncmp(line, "[output]", 8) == 0;
            else if (inOutput && n >= 5 && std::strncmp(line, "name=", 5) == 0)
                names.append(QString::fromLatin1(line + 5, n - 5));
        }
        std::free(line);
        std::fclose(file);
    }
    QListWidget list;
    list.setUniformItemSizes(true);
    list.resize(177, 212); // the editor's outputs list
    list.addItems(names);
    list.setCurrentRow(0);
    StartupProbe::armIfRequested(&list);
    list.show();
    return app.exec();
}
