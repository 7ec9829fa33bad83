#pragma once

// The virtualisation probes of the two hardware-virtualisation checks. Free functions without state,
// synchronous, callable from any thread. Every failure reads as "not there".
namespace VtProbes {

// The system's own hypervisor holds the processor's virtualisation (here: the kernel's kvm modules in
// use), so that VirtualBox cannot have it.
bool detectHyperV();

// Another hypervisor product holds it (here: its kernel module is loaded and in use).
bool detectOtherHypervisor();

// Hardware virtualisation (VT-x or AMD-V) is enabled and usable. Runs the installation's checker
// program "VTChecker" when there is one (exit code 1 = enabled, up to 120 s); without one the kernel's
// facts answer: the processor flag vmx or svm, or the kernel's hypervisor device. May block.
bool isVtEnabled();

} // namespace VtProbes
