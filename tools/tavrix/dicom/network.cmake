# The station's DICOM networking: the worklist query, and sending to the PACS
# through an outbox. DCMTK's network classes (dcmnet) on top of dcmdata.
find_package(DCMTK REQUIRED CONFIG)
set(TAVRIX_DICOM_NET_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/association.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_lock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/network_address.cpp
  ${CMAKE_CURRENT_LIST_DIR}/outbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_sender.cpp
  ${CMAKE_CURRENT_LIST_DIR}/worklist_query.cpp)
add_library(tavrix_dicom_net STATIC ${TAVRIX_DICOM_NET_SOURCES})
# Users include "dicom/outbox.h", ...
target_include_directories(tavrix_dicom_net PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(tavrix_dicom_net PUBLIC DCMTK::dcmnet DCMTK::dcmdata)

