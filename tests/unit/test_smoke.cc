#include <gtest/gtest.h>
#include "kvset/ctkvs.h"
TEST(Smoke, CreateDestroy) {
  CTkvs h = 0; CTerror e = 0;
  ASSERT_EQ(CTkvs_Create(&h, &e), CT_statusOK);
  ASSERT_EQ(CTkvs_Destroy(h, &e), CT_statusOK);
}
