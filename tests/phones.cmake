# Tests of the phone side: the protocol and device library, the host's device
# services, and the simulated phone.
# Without the host library: the device library must meet no host here.
orx_add_tests(devapi_tests
  SOURCES DevApiFrameTest.cpp DevApiLinkTest.cpp
  LIBS ORX_FP_FlashDevApi orxproto)
orx_add_tests(host_tests
  THREADED HostDevicesTest.cpp
  LIBS ORX ORX_FP_FlashDevApi ${CMAKE_DL_LIBS})
orx_add_tests(phonesim_tests
  SOURCES
    PhoneSimFlashTest.cpp PhoneSimRecordsTest.cpp PhoneSimProfileTest.cpp
    PhoneSimSequenceTest.cpp
  THREADED PhoneSimFaultTest.cpp
  LIBS phonesim ORX_FP_FlashDevApi shxbuild)
