// The plug-in library's own translation unit. Its exports come from the subsystem libraries it
// links (see CMakeLists.txt and the version script).
