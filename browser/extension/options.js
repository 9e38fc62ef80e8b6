// The settings page: the pause switch and the list of excluded sites.
import { parseSiteList, readSettings, writeSettings } from "./settings.js";

const paused = document.getElementById("paused");
const excluded = document.getElementById("excluded");
const saved = document.getElementById("saved");

const settings = await readSettings();
paused.checked = settings.paused;
excluded.value = settings.excluded.join("\n");

paused.addEventListener("change", () => writeSettings({ paused: paused.checked }));
document.getElementById("save").addEventListener("click", async () => {
  const sites = parseSiteList(excluded.value);
  await writeSettings({ excluded: sites });
  excluded.value = sites.join("\n");
  saved.textContent = `Saved: ${sites.length} site${sites.length === 1 ? "" : "s"} excluded.`;
});
