// Saving the processed picture: how the saved file is handed to the system's image editor.
#pragma once

#include <QString>

#include <functional>

namespace nocturo {

// Opens a saved picture with the program the system associates with it; returns false when the
// request could not be made. Tests replace it to record the request instead.
std::function<bool(const QString& path)>& openSavedPictureHook();

}  // namespace nocturo
