// RodividuZIDU: carries a Sonavoxa library from format 2.5 to 3.4 in one window.
#include <QApplication>

#include "app/RivivuviRUWindow.h"
#include "platform/os/LocalFileSystem.h"
#include "settings/Mod_API.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    platform::LocalFileSystem fileSystem;
    app::RivivuviRUWindow window(settings::Mod_API::Default(), fileSystem);
    window.Load();
    window.show();
    return QApplication::exec();
}
