#include "app/control_app.h"
#include "ui/app.h"

int main(int argc, char** argv)
{
    ui::Application app(argc, argv);
    theApp.InitInstance();
    return 0;
}
