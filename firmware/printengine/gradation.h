// The gradation chain: the base gradation from TABLE table 18 with the
// density adjustments, composed with a picture's tone curve, then corrected
// per plane for the head and environment temperatures and the humidity.
//
// Buffers of 1280 16-bit entries, five blocks of 256 (block b at 256 x b):
//   base gradation: Y, M, C, the overcoat of the picture's kind, SP
//   composed curve (the tone curves' work area): Y, M, C through the tone
//   curve; overcoat and SP copied from the base
//   plane gradation: block c the corrected gradation of plane c
// Levels are 14-bit densities: 0 no dye, 16320 full dye at level 255.
// TABLE tables of table index k (CPrintLine::GetTableIndex): 66/72/78 + k
// temperature coefficients A, B, C by environment index; 84/90 + k level
// weight D and level term E by level; 48 + k humidity factor H (signed
// bytes) by humidity index; 54 + k level weight G; 108 + k temperature
// weight F by environment index; 18 + k its length / 2 is the humidity
// stage's entry count (cut to one block).
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

constexpr uint32_t GRADATION_BLOCK = 256;
constexpr uint32_t GRADATION_ENTRIES = 5 * GRADATION_BLOCK;
constexpr uint32_t GRADATION_BASE_TABLE = 18;

extern uint16_t g_ausGradationBase[GRADATION_ENTRIES];
extern uint16_t g_ausPlaneGradation[GRADATION_ENTRIES];

// destination[i] = source[i] x percent / 100 (per mille / 1000), unsigned
// 32-bit, low 16 bits stored; the source read from flash word by word. 0.
int32_t ScaleTableWordsPercent(uint32_t ulPercent, PhysAddr ulSource, uint16_t* pusDestination, uint32_t ulCount);
int32_t ScaleTableWordsPerMille(uint32_t ulPerMille, PhysAddr ulSource, uint16_t* pusDestination, uint32_t ulCount);
// The SP shaping of the first 256 entries (below 100 become 1, others lose
// 50), then x percent / 100. 0.
int32_t ScaleSpTableWords(uint32_t ulPercent, PhysAddr ulSource, uint16_t* pusDestination, uint32_t ulCount);
// The low-end (levels 1-30 moved by P x (p / 100 - 1), fading out at 255)
// and high-end (a weight from level 166, flat above 236) adjustments of one
// block; source and destination may be the same. 0.
int32_t AdjustGradationLowEnd(int32_t lPercent, const uint16_t* pusSource, uint16_t* pusDestination);
int32_t AdjustGradationHighEnd(int32_t lPerMille, const uint16_t* pusSource, uint16_t* pusDestination);
// Block c of the source corrected for the temperatures into block c of the
// destination, ulCount entries; a null tone curve levels entry i at i. 0,
// or a failing TABLE lookup's result.
int32_t CorrectGradationTemp(uint32_t ulPlane, uint32_t ulEnvIndex, uint32_t ulHeadTemp, const uint16_t* pusSourceBase,
                             uint16_t* pusDestinationBase, const uint16_t* pusToneCurve, uint32_t ulCount);
// The humidity correction, at most one block of entries. 0, or a failing
// TABLE lookup's result.
int32_t CorrectGradationHumid(uint32_t ulPlane, uint32_t ulEnvIndex, uint32_t ulHumidIndex, const uint16_t* pusSourceBase,
                              uint16_t* pusDestinationBase, const uint16_t* pusToneCurve, uint32_t ulCount);
// The humidity stage's entry count of a plane: the length of table 18 + k
// in words (0 when the table is missing).
uint32_t GradationHumidCount(uint32_t ulPlane);
