// The path sequences' moves: the real primitives.
#include "firmware/sequences/path_moves.h"

#include "firmware/mechanism/paper_moves.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/sensor_feeds.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/printengine/print_conditioning.h"
#include "firmware/sequences/ribbon_winding.h"

constinit const PathMoves g_PathMovesReal = {
    FeedToSensor,        FeedToSensorCoarse, FeedUntilSensor, FeedToSensorRollLimited, MovePaperBy,
    MovePaperTo,         MovePaperToEx,      RollEncoderFeedCheck, MoveRotationLock,  MoveEjectPinch,
    MoveMainPinch,       MoveFeedPinch,      MoveLoadPinch,   MovePathSelect,          TurnPaperRoll,
    TakeUpRibbonSlack,   PreheatWaitSequence,
};

constinit const PathMoves* g_pPathMoves = &g_PathMovesReal;
