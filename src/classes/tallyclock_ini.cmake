# The INI file parser as a library of its own: standard C++ only, no Qt. Included by the
# program's build and by the fuzz project, which builds it with clang and instruments it.
add_library(tallyclock_ini STATIC ${CMAKE_CURRENT_LIST_DIR}/clsINIParse.cpp ${CMAKE_CURRENT_LIST_DIR}/clsINIParse.h)
target_include_directories(tallyclock_ini PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(tallyclock_ini PRIVATE tallyclock_warnings)
# Standard C++ only: nothing for moc.
set_target_properties(tallyclock_ini PROPERTIES AUTOMOC OFF)
