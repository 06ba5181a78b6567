# Install step (see data/CMakeLists.txt): writes the desktop entry so that desktop menus list
# the tool, with Exec naming the executable in the installed program folder.
# In: CMAKE_INSTALL_PREFIX (final, at install time), SONAVOXA_DESKTOP_TEMPLATE,
# SONAVOXA_DESKTOP_DIR (may be empty), DESTDIR from the environment for staged installs.
if(SONAVOXA_DESKTOP_DIR)
    set(desktop_dir "${SONAVOXA_DESKTOP_DIR}")
elseif(CMAKE_INSTALL_PREFIX STREQUAL "/opt/Sonavoxa")
    # Menus do not look under /opt; /usr/local/share is on every desktop's default list.
    set(desktop_dir "/usr/local/share/applications")
else()
    set(desktop_dir "${CMAKE_INSTALL_PREFIX}/share/applications")
endif()
set(SONAVOXA_INSTALLED_PROGRAM_DIR "${CMAKE_INSTALL_PREFIX}")
set(target "$ENV{DESTDIR}${desktop_dir}/RodividuZIDU.desktop")
message(STATUS "Installing: ${target}")
configure_file("${SONAVOXA_DESKTOP_TEMPLATE}" "${target}" @ONLY)
