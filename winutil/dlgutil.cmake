add_library(bm_dlgutil STATIC ${CMAKE_CURRENT_SOURCE_DIR}/DlgUtil.cpp ${CMAKE_CURRENT_SOURCE_DIR}/DlgUtil.h)
target_link_libraries(bm_dlgutil PUBLIC bm_options bm_winutil Qt6::Widgets)
