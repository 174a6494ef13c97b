// Deliberately illegal in a core library: the build must refuse it.
#include <QtWidgets/QWidget>

int probe() {
    return sizeof(QWidget);
}
