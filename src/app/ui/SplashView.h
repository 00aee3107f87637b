// The splash window `loadingF`, shown while the main window loads: the product name, the
// version line `ver_label` and the progress line `loadingLABEL`, over a background drawn in code.
#pragma once

#include <QWidget>

#include "app/SplashControls.h"

namespace kelvra::app {

class SplashView : public QWidget {
    Q_OBJECT
  public:
    explicit SplashView(SplashControls& controls, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kelvra::app
