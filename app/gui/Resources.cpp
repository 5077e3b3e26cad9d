#include <QtGlobal>

// Resources compiled into a static library must be registered by hand, outside any
// namespace, before the icon is first loaded.
void InitSequoraResources() {
    Q_INIT_RESOURCE(sequora);
}
