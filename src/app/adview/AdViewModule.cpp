// The web view as the program loads it, from a module of its own, when the first ad is to
// show: until then nothing of the web engine is loaded.

#include "app/adview/WebEngineAdView.h"

extern "C" Q_DECL_EXPORT QWidget* zymradio_make_ad_view(AdController* controller, const QString& bannerPath,
                                                        AdView** view) {
    WebEngineAdView::prepareEngine();
    auto* web = new WebEngineAdView(bannerPath);
    web->setController(controller);
    *view = web;
    return web;
}
