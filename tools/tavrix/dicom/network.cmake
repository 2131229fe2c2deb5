# The station's DICOM networking: the worklist query, and sending to the PACS
# through an outbox. DCMTK's network classes (dcmnet) on top of dcmdata.
find_package(DCMTK REQUIRED CONFIG)
add_library(tavrix_dicom_net STATIC
  ${CMAKE_CURRENT_LIST_DIR}/association.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/network_address.cpp
  ${CMAKE_CURRENT_LIST_DIR}/outbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_sender.cpp
  ${CMAKE_CURRENT_LIST_DIR}/worklist_query.cpp)
# Users include "dicom/outbox.h", ...
target_include_directories(tavrix_dicom_net PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(tavrix_dicom_net PUBLIC DCMTK::dcmnet DCMTK::dcmdata)

# What the DX objects hold and where the station's settings come from:
# values checked per VR, the UID scheme, the exam, the display window, the
# station configuration.
target_sources(tavrix_tool_units PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/coded_terms.cpp
  ${CMAKE_CURRENT_LIST_DIR}/display_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/exam.cpp
  ${CMAKE_CURRENT_LIST_DIR}/station_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_random.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uid_scheme.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_checks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../files/config_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../files/system_places.cpp)
target_link_libraries(tavrix_tool_units PUBLIC tavrix_dicom_net)
