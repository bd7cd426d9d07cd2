
namespace pupiltrak {

// Anchor of the widgets library; its parts are listed by platform/qt and platform/camera.

}  // namespace pupiltrak
