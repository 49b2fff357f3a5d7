/// @file
/// @brief Symbol visibility of the library: everything is hidden unless marked TOOLKIT_API.
#ifndef TOOLKIT_EXPORT_H
#define TOOLKIT_EXPORT_H

/// Marks a class or function as part of the library's interface, exported from libnyr++.
#define TOOLKIT_API __attribute__((visibility("default")))

#endif  // TOOLKIT_EXPORT_H
