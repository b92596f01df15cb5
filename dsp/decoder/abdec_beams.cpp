// Speaker beams: the direction and focus of the beam that feeds each speaker, and the queries with
// which the editor draws them. Nothing here writes engine state: the queries run on the editor's
// thread while audio runs.
#include "abdec_engine.h"
#include "ox_abdec.h"

#include <math.h>
#include <utility>

#include "ox_util.h"

namespace
{

const float kDeg = 0.017453292f;

// Steps 1-2 of the geometry: the speaker's azimuth after the group angles and its elevation after
// the group elevations, in degrees.
void speaker_direction(const abdec_apiparams* api, int32_t layout_mode, int32_t flags, float az,
                       float el, float* a_out, float* e_out)
{
    float a = az;
    if (layout_mode == 1)
    {
        const bool up = (flags & OX_SPK_UPPER) != 0;
        if (flags & OX_SPK_FRONT)
            a = fsgnf(az) * (up ? api->frontH_angle : api->front_angle);
        else if (flags & OX_SPK_SURROUND)
            a = fsgnf(az) * (up ? api->surroundH_angle : api->surround_angle);
        else if (flags & OX_SPK_REAR)
            a = fsgnf(az) * api->rear_angle;
    }
    float e = el;
    if (layout_mode == 1 && (api->mode & ABDEC_MODE_GROUPELEV))
    {
        const bool up = (flags & OX_SPK_UPPER) != 0;
        if (flags & OX_SPK_CENTER) e = api->center.elevation;
        if (flags & OX_SPK_FRONT) e = up ? api->frontH.elevation : api->front.elevation;
        if (flags & OX_SPK_SURROUND) e = up ? api->surroundH.elevation : api->surround.elevation;
        if (flags & OX_SPK_REAR) e = api->rear.elevation;
    }
    *a_out = a;
    *e_out = e;
}

// Rotation of the sound field about the vertical axis, then its tilt about the horizontal axis
// perpendicular to the rotated front (Rodrigues' formula).
void rotate_tilt(const abdec_apiparams* api, float v[3])
{
    const float r = api->rotation * kDeg, t = api->elevation * kDeg;
    const float cr = cosf(r), sr = sinf(r);
    float x = cr * v[0] - sr * v[1], y = sr * v[0] + cr * v[1], z = v[2];
    const float ux = sr, uy = -cr; // uz = 0
    const float ct = cosf(t), st = sinf(t);
    const float cx = uy * z, cy = -ux * z, cz = ux * y - uy * x; // u x v
    const float dot = ux * x + uy * y;
    v[0] = x * ct + cx * st + ux * dot * (1.0f - ct);
    v[1] = y * ct + cy * st + uy * dot * (1.0f - ct);
    v[2] = z * ct + cz * st;
}

float group_gain_db(const abdec_apiparams* api, int32_t flags, bool* grouped)
{
    const bool up = (flags & OX_SPK_UPPER) != 0;
    *grouped = true;
    if (flags & OX_SPK_CENTER) return api->center.gain;
    if (flags & OX_SPK_FRONT) return up ? api->frontH.gain : api->front.gain;
    if (flags & OX_SPK_SURROUND) return up ? api->surroundH.gain : api->surround.gain;
    if (flags & OX_SPK_REAR) return api->rear.gain;
    *grouped = false;
    return 1.0f;
}

} // namespace

extern "C" {

void abdec_speakerbeam(const abdec_params* params, const abdec_apiparams* api, int32_t layout_mode,
                       int32_t flags, float azimuth, float elevation, float* beam_azimuth_out,
                       float* beam_elevation_out, float* nominal_azimuth_out,
                       float* binaural_elevation_out)
{
    (void)params;
    float a, e;
    speaker_direction(api, layout_mode, flags, azimuth, elevation, &a, &e);
    if (nominal_azimuth_out) *nominal_azimuth_out = a;
    // Elevation positive up, as in the layouts, the virtual microphones and the beam responses:
    // a height speaker's beam must point up.
    const float ar = a * kDeg, er = e * kDeg;
    float v[3] = {cosf(ar) * cosf(er), sinf(ar) * cosf(er), sinf(er)};
    rotate_tilt(api, v);
    *beam_azimuth_out = atan2f(v[1], v[0]);
    *beam_elevation_out = atan2f(v[2], sqrtf(v[0] * v[0] + v[1] * v[1]));
    // The virtual speaker of the binaural renderer stays where the speaker is (the sound field
    // turns, the speakers do not); the renderer folds elevations beyond +-90 degrees to the
    // back.
    if (binaural_elevation_out) *binaural_elevation_out = e;
}

void abdec_speakergains(const abdec_params* params, const abdec_apiparams* api,
                        const int32_t* flags, float* focus_out)
{
    const int32_t n = params->num_speakers;
    for (int k = 0; k < n; ++k)
    {
        const int32_t f = flags[k];
        const bool up = (f & OX_SPK_UPPER) != 0;
        float v;
        if (f & OX_SPK_CENTER)
            v = api->center.focus;
        else if (f & OX_SPK_FRONT)
            v = up ? api->frontH.focus : api->front.focus;
        else if (f & OX_SPK_SURROUND)
            v = up ? api->surroundH.focus : api->surround.focus;
        else if (f & (OX_SPK_REAR | OX_SPK_BACKCENTER))
            v = api->rear.focus;
        else if (f & OX_SPK_W)
            v = 1.0f;
        else if (f & (OX_SPK_X | OX_SPK_Y))
            v = 0.0f;
        else if ((f & OX_SPK_AFORMAT) && !(f & OX_SPK_Z))
            v = 0.5f;
        else
            v = 1.0f;
        focus_out[k] = v;
    }
    if (!((api->mode & ABDEC_MODE_BEAMS) && (api->mode & ABDEC_MODE_PAIRFOCUS))) return;

    // Adaptive pair focus: each pair's focus follows the angle to its angular neighbours.
    float g[ABDEC_MAX_SPEAKERS];
    int32_t idx[ABDEC_MAX_SPEAKERS], side[ABDEC_MAX_SPEAKERS];
    const float* az = params->layout->azimuth;
    for (int k = 0; k < n; ++k)
    {
        const int32_t f = flags[k];
        const bool up = (f & OX_SPK_UPPER) != 0;
        float angle = 0.0f;
        int32_t sd = 1;
        if (f & OX_SPK_CENTER)
            sd = 0;
        else if (f & OX_SPK_FRONT)
            angle = up ? api->frontH_angle : api->front_angle, sd = up ? -1 : 1;
        else if (f & OX_SPK_SURROUND)
            angle = up ? api->surroundH_angle : api->surround_angle, sd = up ? -1 : 1;
        else if (f & (OX_SPK_REAR | OX_SPK_BACKCENTER))
            angle = api->rear_angle, sd = up ? -1 : 1;
        else
            sd = -1;
        if (az[k] > 0.0f) angle = -angle;
        g[k] = angle;
        idx[k] = k;
        side[k] = sd;
    }
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            if (g[j] < g[i])
            {
                std::swap(g[i], g[j]);
                std::swap(idx[i], idx[j]);
            }
    if (n < 1 || g[0] > 0.0f) return;
    for (int i = 0; i < n && g[i] <= 0.0f; ++i)
    {
        float prev = g[i == 0 ? n - 1 : i - 1];
        float next = i + 1 < n ? g[i + 1] : 1e20f;
        float d = fminf(fabsf(g[i] - prev), fabsf(g[i] - next));
        float cx = cosf(d * 0.008726646f);
        float den = 1.0f - cx;
        float fv = den > 1e-9f ? (cx + 1.0f - 1.4142135f) / den : 3.0f;
        fv = ox_clampf(fv, 0.0f, 3.0f, 3.0f);
        const int32_t k = idx[i];
        if (side[k] == 0)
            focus_out[k] = fv;
        else if (side[k] == 1)
        {
            focus_out[k] = fv;
            if (k >= 1) focus_out[k - 1] = fv;
        }
    }
}

void abdec_beamids(const abdec_params* params, const abdec_apiparams* api, ox_abdec_beamid* out)
{
    const ox_abdec_speakerlayout* L = params->layout;
    const int32_t n = params->num_speakers;
    float elev[ABDEC_MAX_SPEAKERS], focus[ABDEC_MAX_SPEAKERS];
    int32_t beam[ABDEC_MAX_SPEAKERS];
    for (int k = 0; k < n; ++k)
    {
        float ba;
        abdec_speakerbeam(params, api, L->mode, L->flags[k], L->azimuth[k], L->elevation[k], &ba,
                          &elev[k], NULL, NULL);
        beam[k] = k;
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (elev[j] > elev[i])
            {
                std::swap(elev[i], elev[j]);
                std::swap(beam[i], beam[j]);
            }
    abdec_speakergains(params, api, L->flags, focus);
    for (int k = 0; k < n; ++k)
    {
        out[k].flags = L->flags[k];
        out[k].beam = beam[k];
        out[k].elevation = (int32_t)(elev[k] / kDeg);
        out[k].focus = (int32_t)(focus[k] * 100.0f);
    }
}

void abdec_beamresponses(const abdec_params* params, const abdec_apiparams* api,
                         ox_abdec_beamresponse* out, float angle)
{
    const ox_abdec_speakerlayout* L = params->layout;
    const int32_t n = params->num_speakers;
    const int32_t rec = params->layout_index;
    const float th = ox_clampf(angle, -1.0e6f, 1.0e6f, 0.0f) * kDeg;
    const float ct = cosf(th), st = sinf(th);
    const float h = (1.0f + ct) * 0.5f, m = (1.0f - ct) * 0.5f;
    float focus[ABDEC_MAX_SPEAKERS];
    abdec_speakergains(params, api, L->flags, focus);
    for (int k = 0; k < n; ++k)
    {
        const int32_t flags = L->flags[k];
        const float f = focus[k];
        float rho;
        if (rec == 29)
            rho = h * h;
        else if (rec == 30)
            rho = h * h * h;
        else if ((api->mode & ABDEC_MODE_BEAMS) && flags <= 0x1ff)
            rho = fmaxf(0.0f, h - f * m);
        else
            rho = fabsf(f + (1.0f - f) * ct);
        const float px = rho * ct, py = rho * st;
        float a, e;
        speaker_direction(api, L->mode, flags, L->azimuth[k], L->elevation[k], &a, &e);
        const float ar = a * kDeg, er = e * kDeg;
        const float ca = cosf(ar), sa = sinf(ar), ce = cosf(er), se = sinf(er);
        float v[3] = {ca * ce * px - sa * py, sa * ce * px + ca * py, se * px};
        rotate_tilt(api, v);
        bool grouped;
        float G = group_gain_db(api, flags, &grouped);
        float sc = G < -100.0f ? 0.01f : 0.75f + 0.025f * G;
        if (!grouped && (flags & OX_SPK_Z)) sc = 0.25f;
        if (flags & (OX_SPK_AFORMAT | OX_SPK_W)) sc = 0.7071f;
        out[k].x = v[0] * sc;
        out[k].y = v[1] * sc;
        out[k].z = v[2];
    }
}

} // extern "C"
