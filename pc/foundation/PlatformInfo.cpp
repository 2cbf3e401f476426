// Placeholder so that the platform library exists before its first classes.
namespace thudra_pc_foundation_anchor {
int anchor = 0;
}
