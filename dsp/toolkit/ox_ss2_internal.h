// Second-order state-space realisations shared by the IIR and biquad modules (not exported).
//
// A realisation is nine floats A11, A12, A21, A22, B1, B2, C1, C2, D:
//   y = C1·s1 + C2·s2 + D·x,  s1' = A11·s1 + A12·s2 + B1·x,  s2' = A21·s1 + A22·s2 + B2·x.
// ox_iir_ss2set and ox_biquad_ss carry these fields under the same names.
#ifndef OX_SS2_INTERNAL_H
#define OX_SS2_INTERNAL_H

namespace oxss2
{

struct Set
{
    float A11, A12, A21, A22, B1, B2, C1, C2, D;
};

template <typename S> Set from(const S& s)
{
    return {s.A11, s.A12, s.A21, s.A22, s.B1, s.B2, s.C1, s.C2, s.D};
}

template <typename S> void to(const Set& r, S* s)
{
    s->A11 = r.A11;
    s->A12 = r.A12;
    s->A21 = r.A21;
    s->A22 = r.A22;
    s->B1 = r.B1;
    s->B2 = r.B2;
    s->C1 = r.C1;
    s->C2 = r.C2;
    s->D = r.D;
}

// Realises H(z) = b0 + (e1·z + e2)/(z² + a1·z + a2), i.e. the section b0, b1, b2, a1, a2 with
// e1 = b1 − b0·a1 and e2 = b2 − b0·a2 (the caller forms them in its own precision). Real poles
// give a diagonal state matrix, a conjugate pair a scaled rotation; each state is scaled to
// carry about the input's power. A double pole, or two poles so close that the modal form
// would cancel large terms, is split into two real poles (1e-3 apart, less near the unit
// circle). Non-finite input, or a result that is not finite, gives the pass-through.
Set realise(double b0, double e1, double e2, double a1, double a2);

// Turns nw into the similarity transform of itself that has old's output vector and old's
// C·A (T = O_old⁻¹·O_new; A″ = T·A′·T⁻¹, B″ = T·B′, C″ = C_old, D″ = D_new): the same transfer
// function as nw, in which a running state of old means the same for the output. Returns
// false and leaves nw alone when either observability matrix is (nearly) singular.
bool take_over(const Set& old, Set* nw);

} // namespace oxss2

#endif
