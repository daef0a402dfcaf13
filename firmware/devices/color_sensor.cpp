#include "firmware/devices/color_sensor.h"

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/control/menu.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/sensors.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/time_base.h"

// ---- LEDs ---------------------------------------------------------------------------------

CColorLed::CColorLed(const char* pszName, uint32_t ulNumber) : m_pszName(pszName), m_ulNumber(ulNumber) { Off(); }

int32_t CColorLed::On() {
  if (m_ulOn != 0) return 0;
  m_ulOn = 1;
  m_ulOnTime = g_MsTimer.NowMs();
  return g_FpgaMain.ColorLedOn(m_ulNumber);
}

int32_t CColorLed::Off() {
  const int32_t lResult = g_FpgaMain.ColorLedOff(m_ulNumber);
  m_ulOn = 0;
  return lResult;
}

int32_t CColorLed::IsOn(uint32_t* pulOn) const {
  *pulOn = m_ulOn;
  return 0;
}

int32_t CColorLed::TestScreen() {
  CAnalogSensor& receiver = m_ulNumber >= kFirstLedOfUnitR ? g_AdCSenR : g_AdCSenL;
  g_Lcd.WriteText(m_pszName, 0, 16);
  g_Lcd.WriteText(m_ulOn != 0 ? "ON   " : "OFF  ", 7, 3);
  g_Lcd.WriteText(".  V", 12, 4);
  for (;;) {
    uint32_t ulRaw = 0;
    receiver.Read(&ulRaw);
    uint32_t ulMillivolts = 0;
    CAnalogSensor::ToMillivolts(ulRaw, &ulMillivolts);
    FormatDecimal(static_cast<int32_t>(ulMillivolts), 1);
    g_Lcd.WriteText(&g_acNumberText[6], 11, 1);
    g_Lcd.WriteText(&g_acNumberText[7], 13, 2);
    uint32_t ulKey = KEY_NONE;
    if (g_KeyMng.WaitKey(1, &ulKey) != 1) continue;
    if (ulKey == KEY_ENTER) {
      if (m_ulOn != 0) {
        Off();
        g_Lcd.WriteText("OFF", 7, 3);
      } else {
        On();
        g_Lcd.WriteText("ON ", 7, 3);
      }
    } else if (ulKey == KEY_CLEAR && m_ulOn == 0) {
      return 0;
    } else if (ulKey == KEY_CLEAR && g_ulMainLoopStop != 0) {
      // The application stops: every screen ends, this one with its LED
      // dark, rather than holding up the stop for ever.
      Off();
      return 0;
    }
  }
}

// ---- sensors ------------------------------------------------------------------------------

CColorSensor::CColorSensor(CColorLed* pLed)
    : m_pLed(pLed), m_ulSettleTime(g_MsTimer.MsToTicks(100)), m_ulThreshold(kDefaultThreshold) {}

CColorSensorR::CColorSensorR(CColorLed* pLed) : CColorSensor(pLed) { m_ulScale = kNoScale; }

int32_t CColorSensor::SetThreshold(uint32_t ulThreshold) {
  m_ulThreshold = ulThreshold;
  return 0;
}

int32_t CColorSensor::GetThreshold(uint32_t* pulThreshold) const {
  *pulThreshold = m_ulThreshold;
  return 0;
}

int32_t CColorSensor::SetScale(uint32_t ulScale) {
  m_ulScale = ulScale;
  return 0;
}

int32_t CColorSensor::LedOff() {
  m_pLed->Off();
  return 0;
}

int32_t CColorSensor::ReadAgainst(uint32_t ulThreshold, uint32_t* pulLevel, uint32_t* pulValue) {
  g_pCurAdCSen->Read(pulValue);
  *pulLevel = *pulValue >= (ulThreshold & 0xFFFFu) ? COLOR_LEVEL_AT_OR_ABOVE : COLOR_LEVEL_BELOW;
  return 0;
}

uint32_t CColorSensorR::ScaledThreshold() const {
  return m_ulScale == kNoScale ? m_ulThreshold : (m_ulThreshold * m_ulScale) >> 8;
}

int32_t CColorSensorR::Read(uint32_t* pulLevel, uint32_t* pulValue) {
  return ReadAgainst(ScaledThreshold(), pulLevel, pulValue);
}

int32_t CColorSensor::Measure(uint32_t* pulLevel, uint32_t* pulValue, uint32_t* pulValid) {
  *pulValid = 0;
  uint32_t ulOn = 0;
  m_pLed->IsOn(&ulOn);
  if (ulOn != 0) {
    // An LED another caller lit settles from its own switch-on, not from
    // this sensor's last one.
    m_ulLedOnTime = m_pLed->OnTime();
    if (g_MsTimer.NowMs() - m_ulLedOnTime > m_ulSettleTime) {
      Read(pulLevel, pulValue);
      *pulValid = 1;
    }
    return 0;
  }
  g_pCurColorLedRed->Off();
  g_pCurColorLedGreen->Off();
  g_pCurColorLedBlue->Off();
  m_pLed->On();
  m_ulLedOnTime = m_pLed->OnTime();
  uint32_t ulScratch = 0;
  Read(pulLevel, &ulScratch);
  return 0;
}

// Hundredths of a volt of a 3.3 V full scale: "d.ddV" at column 11.
int32_t CColorSensor::ShowVolts(uint32_t ulThreshold) {
  FormatDecimal(static_cast<int32_t>(ulThreshold * 10u / 31u), 1);
  const char acText[5] = {g_acNumberText[7], '.', g_acNumberText[8], g_acNumberText[9], 'V'};
  g_Lcd.WriteText(acText, 11, 5);
  WaitAnyKey();
  return 0;
}

int32_t CColorSensor::ShowThreshold() { return ShowVolts(m_ulThreshold); }

int32_t CColorSensorR::ShowThreshold() { return ShowVolts(ScaledThreshold()); }

// ---- panel classification -----------------------------------------------------------------

constexpr PanelRule g_aPanelRules[3] = {
    {COLOR_BLUE, COLOR_GREEN, PANEL_YELLOW},
    {COLOR_GREEN, COLOR_RED, PANEL_MAGENTA},
    {COLOR_RED, COLOR_BLUE, PANEL_CYAN},
};

PanelClass ClassifyReadings(const uint32_t (&aulValues)[COLOR_COUNT]) {
  for (const PanelRule& rule : g_aPanelRules) {
    const int32_t lDifference =
        static_cast<int32_t>(aulValues[rule.eMinuend]) - static_cast<int32_t>(aulValues[rule.eSubtrahend]);
    if (lDifference > kPanelMargin) return rule.eClass;
  }
  return PANEL_OVERCOAT;
}

// ---- the set ------------------------------------------------------------------------------

int32_t CColorSensorSet::Reset() {
  g_pCurColorSensorRed->LedOff();
  g_pCurColorSensorGreen->LedOff();
  g_pCurColorSensorBlue->LedOff();
  for (uint8_t& ucLevel : m_aucLevel) ucLevel = 0xFF;
  m_ulStep = 0;
  return 0;
}

bool CColorSensorSet::Step(int32_t* plResult) {
  CColorSensor* const apSensor[COLOR_COUNT] = {g_pCurColorSensorRed, g_pCurColorSensorGreen, g_pCurColorSensorBlue};
  // A step out of range (never written so) starts over at red.
  if (m_ulStep >= COLOR_COUNT) m_ulStep = 0;
  uint32_t ulLevel = 0, ulValue = 0, ulValid = 0;
  *plResult = apSensor[m_ulStep]->Measure(&ulLevel, &ulValue, &ulValid);
  if (ulValid == 0) return false;
  m_aucLevel[m_ulStep] = static_cast<uint8_t>(ulLevel);
  m_aulValue[m_ulStep] = ulValue;
  if (++m_ulStep < COLOR_COUNT) return false;
  m_ulStep = 0;
  return true;
}

int32_t CColorSensorSet::ReadColorCode(uint32_t* pulCode, uint32_t* pulDone) {
  *pulDone = 0;
  int32_t lResult = 0;
  if (!Step(&lResult)) return lResult;
  *pulCode = static_cast<uint32_t>(m_aucLevel[COLOR_RED]) << 8 | static_cast<uint32_t>(m_aucLevel[COLOR_GREEN]) << 4 |
             m_aucLevel[COLOR_BLUE];
  *pulDone = 1;
  return lResult;
}

int32_t CColorSensorSet::ClassifyPanel(uint32_t* pulClass, uint16_t* pusValues, uint32_t* pulDone) {
  *pulDone = 0;
  int32_t lResult = 0;
  if (!Step(&lResult)) return lResult;
  *pulClass = ClassifyReadings(m_aulValue);
  for (uint32_t i = 0; i < COLOR_COUNT; ++i) pusValues[i] = static_cast<uint16_t>(m_aulValue[i] & 0xFFFFu);
  *pulDone = 1;
  return lResult;
}
