# The Qt program: varnet_app holds everything but main(); varnet is the executable.
# Svg: the program's emblem (its icon, About picture and splash logo) is one SVG picture, which
# the installed icons are made from too.
find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport Svg)
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)

add_library(varnet_app STATIC
  app/StartupCode.cpp
  ui/Accessibility.cpp ui/CentreForm.cpp ui/Controls.cpp ui/Dialogs.cpp ui/Form.cpp ui/MapPicture.cpp ui/MsgBox.cpp
  ui/Pictures.cpp ui/Placement.cpp
  ui/frmMain.cpp ui/frmMainCommands.cpp ui/frmMainCoverage.cpp ui/frmMainDetails.cpp
  ui/frmMainContextMenus.cpp ui/frmMainEditInf.cpp ui/frmMainExport.cpp ui/frmMainImport.cpp ui/frmMainLayout.cpp ui/frmMainLife.cpp
  ui/frmMainNewInf.cpp ui/frmMainTree.cpp
  ui/frmAbout.cpp ui/frmCoverage.cpp ui/frmInfEdit.cpp ui/frmOptions.cpp ui/frmProgress.cpp
  ui/frmSplash.cpp
  ui/frmFindMaps.cpp ui/frmMainFind.cpp ui/frmMainGrid.cpp
  ui/frmExportDevice.cpp ui/frmMainExportDevice.cpp
  ui/frmCalibrate.cpp ui/frmCalibrateGrid.cpp ui/frmMainCalibrate.cpp
  view/PictureBox.cpp view/ScrollBar.cpp view/Splitter.cpp view/Twips.cpp
  view/CoverageCanvas.cpp view/GridOverlay.cpp view/MapView.cpp view/cPicScroll.cpp
  ${PROJECT_SOURCE_DIR}/resources/varnet.qrc)
target_include_directories(varnet_app PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(varnet_app PUBLIC library mapcode picture georef grids Qt6::Widgets Qt6::PrintSupport Qt6::Svg)
varnet_target_defaults(varnet_app)

add_executable(varnet main.cpp)
target_link_libraries(varnet PRIVATE varnet_app)
varnet_uses_georef(varnet)
varnet_uses_grids(varnet)
varnet_target_defaults(varnet)
