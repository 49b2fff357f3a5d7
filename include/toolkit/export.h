// Symbol visibility of the library: everything is hidden unless marked TOOLKIT_API.
#ifndef TOOLKIT_EXPORT_H
#define TOOLKIT_EXPORT_H

#define TOOLKIT_API __attribute__((visibility("default")))

#endif  // TOOLKIT_EXPORT_H
