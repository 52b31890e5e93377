#include "screens/ScreenServices.h"

#include "design/EngineSingleton.h"

namespace vl::screens {

ScreenServices::ScreenServices(ProjectStore& store, support::FilePicker& filePicker, support::Desktop& desktop,
                               ProjectLists lists, QObject* parent)
    : QObject(parent), store_(&store), filePicker_(filePicker), desktop_(desktop), lists_(lists)
{
}

void ScreenServices::registerFor(QQmlEngine& engine)
{
    design::EngineSingleton<ScreenServices>::registerFor(engine, *this);
}

ScreenServices* ScreenServices::create(QQmlEngine* engine, QJSEngine*)
{
    return design::EngineSingleton<ScreenServices>::instanceFor(engine);
}

} // namespace vl::screens
