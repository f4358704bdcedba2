#include "app/StartupCode.h"
#include "ui/Form.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    StartupCode::Main();
    if (Form::LoadedCount() == 0) return 0;
    return app.exec();
}
