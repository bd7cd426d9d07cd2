// Anchor of the widgets library; its parts are listed by platform/qt and platform/camera.
