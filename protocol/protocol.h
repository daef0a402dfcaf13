// The USB command protocol shared by the printer firmware and the host
// library: everything in one include.
#pragma once

#include "protocol/codes.h"
#include "protocol/command_table.h"
#include "protocol/headers.h"
#include "protocol/identity.h"
#include "protocol/media.h"
#include "protocol/print_size.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "protocol/status_record.h"
#include "protocol/tone_curve.h"
#include "protocol/wire.h"
